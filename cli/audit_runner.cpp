// audit: walks the record's hash chain (ledger/record_chain.h) from the
// store opened for reading, in one pass, and says whether it holds: 0 with
// its figures, 65 at the first break or witness missing, 74 when the record
// cannot be read. It touches no probe and writes nothing.
#include "cli/runners.h"
#include "ledger/log_target.h"
#include "ledger/record_chain.h"
#include "line/job_load.h"

namespace {

// A witness file of a year's chain values at one a probe, with room.
constexpr size_t kMostWitnessBytes = 256u << 20;

class AuditSink : public RowSink {
 public:
  explicit AuditSink(std::vector<std::string> witnesses) : witnesses_(std::move(witnesses)) {}
  void Restart() override {}
  void Take(const LogRow& row) override {
    if (!row.chain.empty()) witnesses_.See(row.chain);
  }
  void Damaged() override {}
  void ChainNow(const ChainVerdict& verdict) override { verdict_ = verdict; }
  const ChainVerdict& verdict() const { return verdict_; }
  std::string FirstMissing() const { return witnesses_.FirstMissing(); }

 private:
  ChainWitnesses witnesses_;
  ChainVerdict verdict_;
};

const char* KindText(ChainBreak kind) {
  switch (kind) {
    case ChainBreak::kChanged:
      return "its fields no longer hash to its chain value";
    case ChainBreak::kRemoved:
      return "a record before it is missing";
    case ChainBreak::kInserted:
      return "it was put in: no writer of the chain wrote it there";
    case ChainBreak::kOutOfOrder:
      return "records were moved: the one that belongs here comes later";
    case ChainBreak::kNone:
      break;
  }
  return "";
}

bool ReadWitnesses(const std::u16string& path, std::vector<std::string>* values) {
  std::string bytes;
  if (!ReadFileBytes(path, kMostWitnessBytes, &bytes)) return false;
  for (size_t at = 0; at < bytes.size();) {
    size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    std::string value = bytes.substr(at, end - at);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    if (!value.empty()) values->push_back(value);
    at = end + 1;
  }
  return true;
}

int Say(RunContext& context, int status, const std::string& message, const std::string& figures) {
  if (status == kExitOk) {
    context.io.Err(message + "\n");
  } else {
    context.io.Err("ERROR: " + message + "\n");
  }
  if (context.options.json) {
    context.io.Out("{\"command\":\"audit\",\"result\":" + std::to_string(status) + figures +
                   ",\"message\":" + JsonString(message) + "}\n");
  } else if (status == kExitOk) {
    context.io.Out(message + "\n");
  }
  return status;
}

}  // namespace

int RunAudit(RunContext& context) {
  const CliOptions& options = context.options;
  Ledger& ledger = *context.ledger;
  std::vector<std::string> witnesses;
  if (!options.witnessPath.empty() && !ReadWitnesses(options.witnessPath, &witnesses)) {
    return Say(context, kExitLogFailed,
               "The witness file " + Utf8(options.witnessPath) + " could not be read.", "");
  }
  AuditSink sink(witnesses);
  std::string error;
  if (!ledger.ReadRows(sink, &error)) {
    return Say(context, kExitLogFailed,
               "The record " + ledger.Where() + " could not be read (" + error + ").", "");
  }
  const ChainVerdict& verdict = sink.verdict();
  const char* place = ParseLogTarget(options.logPath).kind == LogKind::kDatabase ? "row" : "line";
  std::string figures = ",\"records\":" + std::to_string(verdict.records) +
                        ",\"chained\":" + std::to_string(verdict.chained) +
                        ",\"first_chained\":" + std::to_string(verdict.firstChained) +
                        ",\"head\":" + JsonString(verdict.head);
  if (verdict.broken != ChainBreak::kNone) {
    figures += ",\"broken\":{\"" + std::string(place) + "\":" + std::to_string(verdict.brokenAt) +
               ",\"kind\":" + JsonString(ChainBreakWord(verdict.broken)) + "}";
    return Say(context, kExitChainBroken,
               "The record " + ledger.Where() + " is broken at " + place + " " +
                   std::to_string(verdict.brokenAt) + ": " + ChainBreakWord(verdict.broken) + " (" +
                   KindText(verdict.broken) + ").",
               figures);
  }
  const std::string missing = sink.FirstMissing();
  if (!missing.empty()) {
    figures += ",\"missing_witness\":" + JsonString(missing);
    return Say(context, kExitChainBroken,
               "The record " + ledger.Where() + " no longer holds the witness value " + missing +
                   ": its tail was cut off or written again.",
               figures);
  }
  const std::string counted =
      std::to_string(verdict.records) + " record" + (verdict.records == 1 ? "" : "s");
  if (verdict.chained == 0) {
    return Say(context, kExitOk,
               "The record " + ledger.Where() + " holds " + counted + ", none of them chained.",
               figures);
  }
  return Say(context, kExitOk,
             "The record " + ledger.Where() + " holds: " + counted + ", chained from " + place +
                 " " + std::to_string(verdict.firstChained) + "; head " + verdict.head + ".",
             figures);
}
