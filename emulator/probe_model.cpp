// The emulated probe: frames in, answers out, faults on request, every frame
// in the transcript.
#include "emulator/probe_model.h"

#include <algorithm>
#include <utility>

#include "model_commands.h"

namespace probe_model {
namespace {

// The version reply's five bytes between the echo and the version byte: a
// board code "VKR" and hardware revision 1.0, which the tool does not read.
constexpr uint8_t kVersionFiller[] = {0x56, 0x4B, 0x52, 0x01, 0x00};
constexpr uint8_t kEraseFailedStatus = 0x01;

uint32_t BigEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | p[3];
}

uint32_t BigEndian16(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 8 | p[1];
}

uint8_t Xor(const uint8_t* p, size_t n) {
  uint8_t check = 0;
  for (size_t i = 0; i < n; ++i) check ^= p[i];
  return check;
}

char16_t OtherCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
  return c;
}

}  // namespace

ProbeModel::ProbeModel(ProbeSettings settings)
    : settings_(std::move(settings)), serial_(settings_.serial), flash_(kFlashBytes, 0xFF) {}

void ProbeModel::Write(const uint8_t* bytes, size_t length, uint64_t nowMs) {
  input_.insert(input_.end(), bytes, bytes + length);
  while (input_.size() >= 2) {
    const size_t frameLength = BigEndian16(input_.data()) + 3;
    if (input_.size() < frameLength) break;
    std::vector<uint8_t> frame(input_.begin(), input_.begin() + frameLength);
    input_.erase(input_.begin(), input_.begin() + frameLength);
    HandleFrame(frame, nowMs);
  }
}

size_t ProbeModel::Available(uint64_t nowMs) {
  size_t total = 0;
  for (Pending& pending : output_) {
    if (pending.atMs > nowMs) break;
    if (!pending.logged) {
      pending.logged = true;
      transcript_.push_back(std::move(pending.entry));
    }
    total += pending.bytes.size() - pending.taken;
  }
  return total;
}

size_t ProbeModel::Read(uint8_t* buffer, size_t length, uint64_t nowMs) {
  if (dropRequested_) return 0;
  Available(nowMs);
  size_t done = 0;
  while (!output_.empty() && output_.front().atMs <= nowMs) {
    Pending& front = output_.front();
    const size_t n = std::min(length - done, front.bytes.size() - front.taken);
    std::copy_n(front.bytes.begin() + front.taken, n, buffer + done);
    front.taken += n;
    done += n;
    if (front.taken < front.bytes.size()) break;
    const bool drop = front.dropAfter;
    output_.pop_front();
    if (drop) {
      dropRequested_ = true;
      output_.clear();
      NoteEvent(nowMs, "dropped off in the middle of a reply (fault)");
      break;
    }
  }
  return done;
}

std::optional<uint64_t> ProbeModel::NextReplyMs() const {
  if (output_.empty()) return std::nullopt;
  return output_.front().atMs;
}

void ProbeModel::Reconnected(uint64_t nowMs) {
  dropRequested_ = false;
  output_.clear();
  input_.clear();
  NoteEvent(nowMs, "attached again");
}

void ProbeModel::Unplugged(uint64_t nowMs) {
  vanishRequested_ = false;
  stopsTaking_ = false;
  dropRequested_ = false;
  output_.clear();
  input_.clear();
  NoteEvent(nowMs, "unplugged");
}

void ProbeModel::PluggedIn(uint64_t nowMs) {
  NoteEvent(nowMs, "plugged in");
}

void ProbeModel::Reset(uint64_t nowMs) {
  output_.clear();
  input_.clear();
  dropRequested_ = false;
  stopsTaking_ = false;
  std::string note = "reset";
  if (executedAtMs_ && settings_.versionAfter) {
    settings_.versionByte = *settings_.versionAfter;
    note += ": runs the new firmware";
  }
  executedAtMs_.reset();
  resetUntilMs_ = nowMs + settings_.resetGoneMs;
  NoteEvent(nowMs, note + "; away for " + std::to_string(settings_.resetGoneMs) + " ms");
}

bool ProbeModel::ResetDue(uint64_t nowMs) const {
  return executedAtMs_ && settings_.resetAfterMs > 0 &&
         nowMs >= *executedAtMs_ + settings_.resetAfterMs;
}

void ProbeModel::QueueRawReply(std::vector<uint8_t> bytes, uint64_t atMs) {
  Pending pending;
  pending.atMs = atMs;
  pending.entry.ms = atMs;
  pending.entry.direction = Direction::kFromProbe;
  pending.entry.bytes = bytes;
  pending.entry.note = "queued by a test";
  pending.bytes = std::move(bytes);
  output_.push_back(std::move(pending));
}

const Fault* ProbeModel::ActiveFault(FaultKind kind, uint8_t command) const {
  for (const Fault& fault : settings_.faults) {
    if (fault.kind != kind) continue;
    if (fault.command != 0 && fault.command != command) continue;
    if (fault.nth != 0 && fault.nth != requestCounts_[command]) continue;
    return &fault;
  }
  return nullptr;
}

void ProbeModel::Send(uint8_t command, std::vector<uint8_t> bytes, uint64_t atMs, bool dropAfter,
                      std::string note) {
  Pending pending;
  pending.atMs = atMs;
  pending.dropAfter = dropAfter;
  pending.entry.ms = atMs;
  pending.entry.direction = Direction::kFromProbe;
  pending.entry.command = command;
  pending.entry.bytes = bytes;
  pending.entry.note = std::move(note);
  pending.bytes = std::move(bytes);
  output_.push_back(std::move(pending));
}

void ProbeModel::HandleFrame(const std::vector<uint8_t>& frame, uint64_t nowMs) {
  TranscriptEntry entry;
  entry.ms = nowMs;
  entry.direction = Direction::kToProbe;
  entry.bytes = frame;
  const size_t messageLength = frame.size() - 3;
  const uint8_t command = messageLength >= 1 ? frame[2] : 0;
  const CommandInfo* info = FindCommand(command);
  entry.command = info ? command : 0;
  const bool checkOk = messageLength >= 1 && Xor(frame.data() + 2, messageLength) == frame.back();
  if (!checkOk) entry.note = "check byte wrong";
  if (checkOk && !info) entry.note = "unknown command";
  transcript_.push_back(std::move(entry));
  if (!answering_) return;
  if (!checkOk || !info) {
    Send(0, {kStatusBadFrame}, nowMs, false, "request refused");
    return;
  }
  ++requestCounts_[command];
  if (ActiveFault(FaultKind::kVanish, command)) {
    NoteEvent(nowMs, "vanishes (fault)");
    vanishRequested_ = true;
    return;
  }
  if (ActiveFault(FaultKind::kStopsTaking, command)) {
    NoteEvent(nowMs, "takes no further request until the next open (fault)");
    stopsTaking_ = true;
  }
  if (ActiveFault(FaultKind::kNoReply, command)) {
    NoteEvent(nowMs, "no reply (fault)");
    return;
  }
  std::vector<std::string> notes;
  uint64_t delayMs = 0;
  bool never = false;
  bool isLong = info->longReply;
  std::vector<uint8_t> body =
      Answer(command, frame.data() + 3, messageLength - 1, &isLong, &delayMs, &never);
  // The new firmware starts at the next reset, automatic or the host's.
  if (command == kCmdExecuteUpdate && executed_) executedAtMs_ = nowMs;
  if (never) {
    NoteEvent(nowMs, "erase never ends (fault)");
    return;
  }
  std::vector<uint8_t> reply;
  if (isLong) {
    if (ActiveFault(FaultKind::kWrongEcho, command) && !body.empty()) {
      body[0] ^= 0x01;
      notes.push_back("wrong echo (fault)");
    }
    if (ActiveFault(FaultKind::kShortReply, command)) {
      body.resize(std::max<size_t>(1, body.size() / 2));
      notes.push_back("short body (fault)");
    }
    reply.push_back(static_cast<uint8_t>(body.size() >> 8));
    reply.push_back(static_cast<uint8_t>(body.size() & 0xFF));
    reply.insert(reply.end(), body.begin(), body.end());
    uint8_t check = Xor(body.data(), body.size());
    if (ActiveFault(FaultKind::kBadCheck, command)) {
      check ^= 0xFF;
      notes.push_back("wrong check byte (fault)");
    }
    reply.push_back(check);
  } else {
    reply = body;
    if (ActiveFault(FaultKind::kBadStatus, command)) {
      reply.assign(1, kFaultStatus);
      notes.push_back("failure status (fault)");
    }
    if (ActiveFault(FaultKind::kShortReply, command)) {
      reply.clear();
      notes.push_back("status byte left out (fault)");
    }
  }
  bool drop = false;
  if (ActiveFault(FaultKind::kDisconnect, command)) {
    reply.resize(reply.size() / 2);
    drop = true;
    notes.push_back("drops off after these bytes (fault)");
  }
  std::string note;
  for (const std::string& n : notes) note += note.empty() ? n : "; " + n;
  if (delayMs > 0) NoteEvent(nowMs, "erasing for " + std::to_string(delayMs) + " ms");
  if (reply.empty() && !drop) {
    NoteEvent(nowMs, note);
    return;
  }
  Send(command, std::move(reply), nowMs + delayMs, drop, std::move(note));
}

std::vector<uint8_t> ProbeModel::Answer(uint8_t command, const uint8_t* payload,
                                        size_t payloadLength, bool* isLong, uint64_t* delayMs,
                                        bool* never) {
  *isLong = FindCommand(command)->longReply;
  switch (command) {
    case kCmdReadVersion: {
      std::vector<uint8_t> body{kCmdReadVersion};
      body.insert(body.end(), std::begin(kVersionFiller), std::end(kVersionFiller));
      body.push_back(settings_.versionByte);
      return body;
    }
    case kCmdReadSerial: {
      std::vector<uint8_t> body{kCmdReadSerial, static_cast<uint8_t>(serial_.size() >> 8),
                                static_cast<uint8_t>(serial_.size() & 0xFF)};
      for (char16_t unit : serial_) {
        body.push_back(static_cast<uint8_t>(unit >> 8));
        body.push_back(static_cast<uint8_t>(unit & 0xFF));
      }
      return body;
    }
    case kCmdWriteSerial: {
      if (payloadLength < 2) return {kStatusRefused};
      const uint32_t units = BigEndian16(payload);
      if (units > static_cast<uint32_t>(kMaxSerialUnits) || payloadLength != 2 + 2 * units)
        return {kStatusRefused};
      std::u16string stored;
      const bool swapCase = ActiveFault(FaultKind::kSerialCase, command) != nullptr;
      for (uint32_t i = 0; i < units; ++i) {
        const char16_t unit = static_cast<char16_t>(BigEndian16(payload + 2 + 2 * i));
        stored.push_back(swapCase ? OtherCase(unit) : unit);
      }
      serial_ = std::move(stored);
      return {kStatusOk};
    }
    case kCmdEraseFlash: {
      if (ActiveFault(FaultKind::kEraseNeverEnds, command)) {
        *never = true;
        return {};
      }
      std::fill(flash_.begin(), flash_.end(), uint8_t{0xFF});
      *delayMs = settings_.eraseMs;
      const bool fails = ActiveFault(FaultKind::kEraseFails, command) != nullptr;
      return {kCmdEraseFlash, 0, 0, 0, fails ? kEraseFailedStatus : uint8_t{0}};
    }
    case kCmdWriteFlash: {
      if (payloadLength < 6 || payload[0] != 0x00) return {kStatusRefused};
      const uint32_t offset = BigEndian32(payload + 1);
      const size_t n = payloadLength - 5;
      if (n > kMaxFlashBlockBytes || static_cast<uint64_t>(offset) + n > kFlashBytes) {
        return {kStatusRefused};
      }
      std::copy_n(payload + 5, n, flash_.begin() + offset);
      for (const Fault& fault : settings_.faults) {
        if (fault.kind == FaultKind::kFlipBit && fault.offset >= offset &&
            fault.offset < offset + n) {
          flash_[fault.offset] ^= 0x01;
        }
      }
      return {kStatusOk};
    }
    case kCmdReadFlash: {
      // A request the probe cannot serve gets the echo alone.
      if (payloadLength != 7 || payload[4] != 0x01) return {kCmdReadFlash};
      const uint32_t address = BigEndian32(payload);
      const uint32_t n = BigEndian16(payload + 5);
      if (address < kReadBackBase || n == 0 || n > kMaxFlashBlockBytes ||
          static_cast<uint64_t>(address - kReadBackBase) + n > kFlashBytes) {
        return {kCmdReadFlash};
      }
      std::vector<uint8_t> body{kCmdReadFlash};
      const auto from = flash_.begin() + (address - kReadBackBase);
      body.insert(body.end(), from, from + n);
      return body;
    }
    case kCmdExecuteUpdate:
      executed_ = true;
      return {kStatusOk};
    default:
      return {kStatusBadFrame};
  }
}

}  // namespace probe_model
