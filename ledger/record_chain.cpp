// The chain's hashing and its walk. A break's kind comes from the places
// (seq) around it, which an edit by hand rarely keeps consistent: a changed
// line keeps its place, a removed one leaves a gap, an inserted one repeats
// a place or has none, a moved one turns up later.
#include "ledger/record_chain.h"

#include "common/sha256.h"

std::string ChainValue(std::string_view previous, std::string_view text) {
  std::string message;
  message.reserve(previous.size() + 1 + text.size());
  message.append(previous).append(1, '\n').append(text);
  return Sha256Hex(message);
}

bool IsChainValue(std::string_view text) {
  if (text.size() != kChainDigits) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::string ChainedLine(std::string_view line, uint64_t seq, std::string_view previous) {
  if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") line.remove_suffix(2);
  std::string text(line);
  text.append(1, ',').append(std::to_string(seq));
  const std::string chain = ChainValue(previous, text);
  if (chain.empty()) return "";
  return text + "," + chain + "\r\n";
}

std::string CanonicalRowText(const LogRow& row, uint64_t seq) {
  std::string line = JoinCsvFields(
      {row.timeUtc, row.station, row.toolVersion, row.command,
       row.probe ? std::to_string(*row.probe) : "", row.firmwareBefore, row.serial, row.file,
       row.imageCrc32, row.result ? std::to_string(*row.result) : "", row.message, row.seconds,
       row.pool, row.firmwareAfter, row.job, std::to_string(seq)});
  line.resize(line.size() - 2);
  return line;
}

std::string FitToColumn(const std::string& utf8, size_t mostChars) {
  size_t units = 0;
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[i]);
    const size_t bytes = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const size_t needs = bytes == 4 ? 2 : 1;
    if (units + needs > mostChars) return utf8.substr(0, i);
    units += needs;
    i += bytes;
  }
  return utf8;
}

const char* ChainBreakWord(ChainBreak kind) {
  switch (kind) {
    case ChainBreak::kNone:
      break;
    case ChainBreak::kChanged:
      return "changed";
    case ChainBreak::kRemoved:
      return "removed";
    case ChainBreak::kInserted:
      return "inserted";
    case ChainBreak::kOutOfOrder:
      return "out of order";
  }
  return "none";
}

void ChainWalk::Break(uint64_t place, ChainBreak kind) {
  verdict_.broken = kind;
  verdict_.brokenAt = place;
}

void ChainWalk::Unchained(uint64_t place) {
  ++verdict_.records;
  if (verdict_.chained == 0 || verdict_.broken != ChainBreak::kNone) return;
  Break(place, ChainBreak::kInserted);
}

void ChainWalk::Chained(uint64_t place, uint64_t seq, std::string_view chain,
                        std::string_view text) {
  ++verdict_.records;
  if (++verdict_.chained == 1) verdict_.firstChained = place;
  verdict_.head.assign(chain);
  if (verdict_.broken != ChainBreak::kNone) {
    const bool next = !sawNext_;
    sawNext_ = true;
    if (pending_ == Pending::kChangedUnlessRepeated) {
      // A second record in the same place: the first was put in.
      if (seq == expected_) verdict_.broken = ChainBreak::kInserted;
      pending_ = Pending::kNone;
    } else if (pending_ == Pending::kRemovedUnlessLater) {
      if (seq == expected_) {
        verdict_.broken = ChainBreak::kOutOfOrder;
        pending_ = Pending::kNone;
      } else if (next && seq == expected_ + 1) {
        // The place itself was edited: the record after it carries on.
        verdict_.broken = ChainBreak::kChanged;
        pending_ = Pending::kNone;
      }
    }
    return;
  }
  if (seq < expected_) return Break(place, ChainBreak::kInserted);
  if (seq > expected_) {
    pending_ = Pending::kRemovedUnlessLater;
    return Break(place, ChainBreak::kRemoved);
  }
  if (ChainValue(previous_, text) != chain) {
    pending_ = Pending::kChangedUnlessRepeated;
    return Break(place, ChainBreak::kChanged);
  }
  previous_.assign(chain);
  ++expected_;
}

ChainVerdict ChainWalk::Verdict() const {
  return verdict_;
}

ChainWitnesses::ChainWitnesses(std::vector<std::string> values)
    : values_(std::move(values)), unseen_(values_.begin(), values_.end()) {}

void ChainWitnesses::See(std::string_view chain) {
  if (!unseen_.empty()) unseen_.erase(std::string(chain));
}

std::string ChainWitnesses::FirstMissing() const {
  for (const std::string& value : values_) {
    if (unseen_.count(value) != 0) return value;
  }
  return "";
}
