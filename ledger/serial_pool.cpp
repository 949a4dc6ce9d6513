// The claim rule: a number is handed out only while the pool holds it free,
// counting up the serial number's trailing digits as the window does.
#include "ledger/serial_pool.h"

#include <algorithm>

#include "common/result_codes.h"
#include "serial/count_up.h"

size_t DigitsAtEnd(const std::string& text) {
  size_t digits = 0;
  while (digits < text.size() && text[text.size() - 1 - digits] >= '0' &&
         text[text.size() - 1 - digits] <= '9') {
    ++digits;
  }
  return digits;
}

bool SameSeries(const std::string& a, const std::string& b) {
  const size_t digits = DigitsAtEnd(a);
  return digits > 0 && a.size() == b.size() && DigitsAtEnd(b) == digits &&
         a.compare(0, a.size() - digits, b, 0, b.size() - digits) == 0;
}

bool SeriesLess(const std::string& a, const std::string& b) {
  // The same width of digits behind the same text: text order is numeric.
  return a < b;
}

std::string SeriesFirst(const std::string& like) {
  const size_t digits = DigitsAtEnd(like);
  return like.substr(0, like.size() - digits) + std::string(digits, '0');
}

std::string SeriesLast(const std::string& like) {
  const size_t digits = DigitsAtEnd(like);
  return like.substr(0, like.size() - digits) + std::string(digits, '9');
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

uint32_t SerialPool::Text(std::string_view text) {
  const auto [at, added] =
      textIndex_.try_emplace(std::string(text), static_cast<uint32_t>(texts_.size()));
  if (added) texts_.emplace_back(text);
  return at->second;
}

void SerialPool::Apply(std::string_view serial, SerialState state, std::string_view station,
                       std::string_view timeUtc, std::optional<int> result,
                       std::string_view message) {
  if (state == SerialState::kFree) {
    // Only the station's own open claim goes back to free: a release never
    // undoes a write, a spent number or another station's claim.
    const auto at = index_.find(std::string(serial));
    if (at != index_.end()) {
      const Slot& now = slots_[at->second];
      if (now.state == SerialState::kWritten || now.state == SerialState::kSpent) return;
      if (now.state == SerialState::kClaimed && texts_[now.station] != station) return;
    }
  }
  Slot slot{std::string(serial), state, result, Text(station), Text(message), kNoText, 0, {}};
  if (timeUtc.size() <= kTimeChars) {
    slot.timeLength = static_cast<uint8_t>(timeUtc.size());
    std::copy(timeUtc.begin(), timeUtc.end(), slot.time);
  } else {
    slot.longTime = Text(timeUtc);
  }
  const auto [at, added] = index_.try_emplace(slot.serial, slots_.size());
  if (added) {
    slots_.push_back(std::move(slot));
  } else {
    slots_[at->second] = std::move(slot);
  }
}

void SerialPool::Apply(const SerialEntry& entry) {
  Apply(entry.serial, entry.state, entry.station, entry.timeUtc, entry.result, entry.message);
}

void SerialPool::Reserve(size_t numbers) {
  index_.reserve(numbers);
  slots_.reserve(numbers);
}

void SerialPool::Clear() {
  index_.clear();
  slots_.clear();
  textIndex_.clear();
  texts_.clear();
}

SerialState SerialPool::StateOf(const std::string& serial) const {
  const auto at = index_.find(serial);
  return at == index_.end() ? SerialState::kFree : slots_[at->second].state;
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
  for (const Slot& slot : slots_) {
    if (!Held(slot.state) || !SameSeries(like, slot.serial)) continue;
    if (!highest || SeriesLess(*highest, slot.serial)) highest = slot.serial;
  }
  return highest;
}

std::vector<SerialEntry> SerialPool::Entries() const {
  std::vector<SerialEntry> entries;
  entries.reserve(slots_.size());
  for (const Slot& slot : slots_) {
    const std::string time =
        slot.longTime == kNoText ? std::string(slot.time, slot.timeLength) : texts_[slot.longTime];
    entries.push_back(
        {slot.serial, slot.state, texts_[slot.station], time, slot.result, texts_[slot.message]});
  }
  return entries;
}

const char* ReportedState(const SerialEntry& entry) {
  switch (entry.state) {
    case SerialState::kWritten:
      return "written";
    case SerialState::kSpent:
      return entry.result && *entry.result != kResultNotSent &&
                     *entry.result != kResultNotReceived && *entry.result != kOutcomeNotRecorded &&
                     *entry.result != kOutcomeStopped
                 ? "spent-failed"
                 : "spent-unknown";
    case SerialState::kClaimed:
      return "claimed";
    case SerialState::kFree:
      break;
  }
  return "free-again";
}
