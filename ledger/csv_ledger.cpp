// The CSV store. Every decision is one session under the file's lock: read
// the tail, decide, append, flush, unlock. A station that is killed after a
// claim leaves the claim line behind, and a claim without an outcome after
// it counts as spent.
#include "ledger/csv_ledger.h"

#include <algorithm>

namespace {

constexpr size_t kReadChunkBytes = 1 << 20;
// Bytes compared before the read position, to see a file replaced or cut.
constexpr size_t kSignatureBytes = 64;
constexpr uint64_t kBytesPerNumber = 200;
constexpr char kClaimMessage[] =
    "Claimed before the write request; without an outcome line after it the number is spent.";

const char* SettlementWord(Settlement settlement) {
  switch (settlement) {
    case Settlement::kWritten:
      return kPoolWritten;
    case Settlement::kSpent:
      return kPoolSpent;
    case Settlement::kReleased:
      break;
  }
  return kPoolFree;
}

// Ends the file's session on every path out of a decision.
class Session {
 public:
  explicit Session(LogFile& file) : file_(file) {}
  ~Session() { file_.End(); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

 private:
  LogFile& file_;
};

}  // namespace

CsvLedger::CsvLedger(std::unique_ptr<LogFile> file, std::string where, LedgerWaiter& waiter)
    : file_(std::move(file)), where_(std::move(where)), waiter_(waiter) {}

bool CsvLedger::Load(std::string* error) {
  if (!BeginSession(error)) return false;
  Session session(*file_);
  return true;
}

bool CsvLedger::BeginSession(std::string* error) {
  bool told = false;
  const unsigned longest = waiter_.LongestWaitMs();
  for (unsigned waited = 0;; waited += kHeldLogRetryMs) {
    const LogAccess access = file_->Begin(error);
    if (access == LogAccess::kReady) break;
    if (access == LogAccess::kFailed) return false;
    if (!told) {
      waiter_.Say("The log " + where_ +
                  " is held by another program (a spreadsheet?): waiting up to " +
                  std::to_string(longest / 1000) + " s for it; Ctrl+C stops.\n");
      told = true;
    }
    if (waited >= longest) {
      *error = "another program held it for " + std::to_string(longest / 1000) + " s";
      return false;
    }
    if (!waiter_.Wait(kHeldLogRetryMs)) {
      *error = "stopped by Ctrl+C while another program held it";
      return false;
    }
  }
  if (!ReadTail(error)) {
    file_->End();
    return false;
  }
  return true;
}

bool CsvLedger::ReadTail(std::string* error) {
  if (!file_->Size(&size_, error)) return false;
  // Where the last look ended, the same bytes must still stand. A log is
  // only ever appended to: one cut or replaced meanwhile lost numbers this
  // station saw held, so reading it again would hand them out again.
  const uint64_t taken = reader_.taken();
  bool same = size_ >= taken + reader_.pendingBytes();
  if (same && taken > 0) {
    std::string before;
    if (!file_->ReadAt(taken - lastBytes_.size(), lastBytes_.size(), &before, error)) return false;
    same = before == lastBytes_;
  }
  // A report reads a file that was no log again from its start: a log may
  // have taken its place since (written anew, or renamed over it).
  if (keepRows_ && reader_.foreign()) same = false;
  if (!same) {
    // A report reads what the log holds now, from its start again; a
    // station stops, since a number it saw held could be handed out again.
    if (!keepRows_) {
      *error =
          "it was cut short or replaced since this station last read it; a log is only ever "
          "appended to, so no number is handed out from it";
      return false;
    }
    reader_.Reset();
    pool_.Clear();
    lastBytes_.clear();
    relay_.Restart();
  }
  // A number takes two lines (its claim and its outcome) of about this many bytes.
  if (reader_.taken() == 0) pool_.Reserve(static_cast<size_t>(size_ / kBytesPerNumber));
  std::string chunk;
  for (uint64_t at = reader_.taken() + reader_.pendingBytes(); at < size_; at += chunk.size()) {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(kReadChunkBytes, size_ - at));
    if (!file_->ReadAt(at, count, &chunk, error)) return false;
    if (chunk.empty()) break;
    if (reader_.Feed(chunk, pool_) == CsvLogReader::Fed::kForeign) {
      *error =
          "it is not a log of this program: its first line is not the log's header, so "
          "nothing is written to it";
      return false;
    }
  }
  reader_.ApplyUnfinished(pool_);
  const uint64_t now = reader_.taken();
  const size_t keep = static_cast<size_t>(std::min<uint64_t>(kSignatureBytes, now));
  lastBytes_.clear();
  return keep == 0 || file_->ReadAt(now - keep, keep, &lastBytes_, error);
}

bool CsvLedger::AppendLine(const std::string& line, std::string* error, std::string* chain) {
  std::string text;
  if (size_ == 0) {
    text = CsvHeader();
  } else if (!reader_.sawHeader()) {
    *error = "its first line is not the log's whole header, so nothing is written to it";
    return false;
  } else if (!reader_.endsWithLine()) {
    // A cut last line is closed, never glued onto.
    text = "\r\n";
  }
  const std::string chained =
      chained_ ? ChainedLine(line, reader_.lastSeq() + 1, reader_.lastChain()) : line;
  if (chained.empty()) {
    *error = "the record's chain value could not be computed (the system's SHA-256)";
    return false;
  }
  text += chained;
  if (!file_->Append(text, error)) return false;
  // The value is the line's last field, before its CRLF.
  if (chain != nullptr && chained_)
    *chain = chained.substr(chained.size() - 2 - kChainDigits, kChainDigits);
  return true;
}

bool CsvLedger::Record(const OperationRecord& record, const LogContext& context, std::string* error,
                       std::string* chain) {
  if (!BeginSession(error)) return false;
  Session session(*file_);
  return AppendLine(FormatCsvLine(record, context), error, chain);
}

Claim CsvLedger::ClaimSerial(const std::string& from, bool countUp, const LogContext& context) {
  Claim claim;
  if (!BeginSession(&claim.error)) return claim;
  Session session(*file_);
  claim = pool_.Choose(from, countUp);
  if (claim.status != ClaimStatus::kClaimed) return claim;
  const std::string line =
      JoinCsvFields({context.timeUtc, context.station, context.toolVersion, kClaimCommand, "", "",
                     claim.serial, "", "", "", kClaimMessage, "", kPoolClaimed, "", context.job});
  if (!AppendLine(line, &claim.error)) claim.status = ClaimStatus::kFailed;
  return claim;
}

bool CsvLedger::Settle(const std::string& serial, Settlement settlement,
                       const OperationRecord& record, const LogContext& context, std::string* error,
                       std::string* chain) {
  if (!BeginSession(error)) return false;
  Session session(*file_);
  OperationRecord outcome = record;
  outcome.serial = serial;
  return AppendLine(FormatCsvLine(outcome, context, SettlementWord(settlement)), error, chain);
}

bool CsvLedger::HighestInSeries(const std::string& like, std::optional<std::string>* highest,
                                std::string* error) {
  if (!BeginSession(error)) return false;
  Session session(*file_);
  *highest = pool_.HighestInSeries(like);
  return true;
}

bool CsvLedger::Entries(std::vector<SerialEntry>* entries, std::string* error) {
  if (!BeginSession(error)) return false;
  Session session(*file_);
  *entries = pool_.Entries();
  return true;
}

void CsvLedger::RowRelay::Restart() {
  if (sink_ != nullptr) {
    sink_->Restart();
    return;
  }
  kept_.clear();
  restarted_ = true;
  damaged_ = 0;
}

void CsvLedger::RowRelay::Take(const LogRow& row) {
  if (sink_ != nullptr) {
    sink_->Take(row);
  } else {
    kept_.push_back(row);
  }
}

void CsvLedger::RowRelay::Damaged() {
  if (sink_ != nullptr) {
    sink_->Damaged();
  } else {
    ++damaged_;
  }
}

void CsvLedger::RowRelay::SendTo(RowSink* sink) {
  sink_ = sink;
  if (sink == nullptr) return;
  if (restarted_) sink->Restart();
  for (const LogRow& row : kept_) sink->Take(row);
  for (; damaged_ > 0; --damaged_) sink->Damaged();
  kept_.clear();
  restarted_ = false;
}

void CsvLedger::KeepRows() {
  if (keepRows_) return;
  keepRows_ = true;
  reader_.KeepRows(&relay_);
  reader_.KeepChain(&walk_);
  // What was read before is read again, for its rows.
  if (reader_.taken() > 0) {
    reader_.Reset();
    pool_.Clear();
    lastBytes_.clear();
  }
  walk_.Restart();
}

bool CsvLedger::ReadRows(RowSink& sink, std::string* error) {
  KeepRows();
  relay_.SendTo(&sink);
  const bool read = BeginSession(error);
  relay_.SendTo(nullptr);
  if (!read) return false;
  Session session(*file_);
  sink.ChainNow(walk_.Verdict());
  return true;
}
