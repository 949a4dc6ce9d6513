// The claim rule: a number is handed out only while the pool holds it free,
// counting up the serial number's trailing digits as the window does.
#include "ledger/serial_pool.h"

#include "serial/count_up.h"

namespace {

size_t DigitsAtEnd(const std::string& text) {
  size_t digits = 0;
  while (digits < text.size() && text[text.size() - 1 - digits] >= '0' &&
         text[text.size() - 1 - digits] <= '9') {
    ++digits;
  }
  return digits;
}

}  // namespace

bool SameSeries(const std::string& a, const std::string& b) {
  const size_t digits = DigitsAtEnd(a);
  return digits > 0 && a.size() == b.size() && DigitsAtEnd(b) == digits &&
         a.compare(0, a.size() - digits, b, 0, b.size() - digits) == 0;
}

bool SeriesLess(const std::string& a, const std::string& b) {
  // The same width of digits behind the same text: text order is numeric.
  return a < b;
}

const char* PoolWord(SerialState state) {
  switch (state) {
    case SerialState::kClaimed:
      return kPoolClaimed;
    case SerialState::kWritten:
      return kPoolWritten;
    case SerialState::kSpent:
      return kPoolSpent;
    case SerialState::kFree:
      break;
  }
  return kPoolFree;
}

std::optional<SerialState> PoolStateOf(std::string_view word) {
  for (SerialState state :
       {SerialState::kFree, SerialState::kClaimed, SerialState::kWritten, SerialState::kSpent}) {
    if (word == PoolWord(state)) return state;
  }
  return std::nullopt;
}

void SerialPool::Apply(SerialEntry entry) {
  const auto [at, added] = index_.try_emplace(entry.serial, entries_.size());
  if (added) {
    entries_.push_back(std::move(entry));
  } else {
    entries_[at->second] = std::move(entry);
  }
}

void SerialPool::Reserve(size_t numbers) {
  index_.reserve(numbers);
  entries_.reserve(numbers);
}

void SerialPool::Clear() {
  index_.clear();
  entries_.clear();
}

SerialState SerialPool::StateOf(const std::string& serial) const {
  const auto at = index_.find(serial);
  return at == index_.end() ? SerialState::kFree : entries_[at->second].state;
}

std::optional<std::string> SerialPool::NextFree(const std::string& from) const {
  std::string candidate = from;
  while (Held(StateOf(candidate))) {
    std::string next = CountUpSerialNo(candidate);
    if (next == candidate) return std::nullopt;
    candidate = std::move(next);
  }
  return candidate;
}

Claim SerialPool::Choose(const std::string& from, bool countUp) const {
  Claim claim;
  if (!countUp) {
    claim.serial = from;
    claim.heldAs = StateOf(from);
    claim.status = Held(claim.heldAs) ? ClaimStatus::kTaken : ClaimStatus::kClaimed;
    return claim;
  }
  const std::optional<std::string> free = NextFree(from);
  claim.status = free ? ClaimStatus::kClaimed : ClaimStatus::kExhausted;
  claim.serial = free.value_or(from);
  return claim;
}

std::optional<std::string> SerialPool::HighestInSeries(const std::string& like) const {
  std::optional<std::string> highest;
  for (const SerialEntry& entry : entries_) {
    if (!Held(entry.state) || !SameSeries(like, entry.serial)) continue;
    if (!highest || SeriesLess(*highest, entry.serial)) highest = entry.serial;
  }
  return highest;
}

std::vector<SerialEntry> SerialPool::Entries() const {
  return entries_;
}
