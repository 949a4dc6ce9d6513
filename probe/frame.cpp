// Request frames and replies on the probe link.
#include "probe/frame.h"

#include "probe/transport.h"

ReplyKind ReplyKindOf(uint8_t command) {
  switch (command) {
    case kCmdReadSerial:
    case kCmdReadVersion:
    case kCmdEraseFlash:
    case kCmdReadFlash:
      return ReplyKind::kLong;
    case kCmdWriteSerial:
    case kCmdWriteFlash:
    case kCmdExecuteUpdate:
      return ReplyKind::kStatusByte;
    default:
      return ReplyKind::kUnknown;
  }
}

uint8_t CheckByteOf(std::span<const uint8_t> bytes) {
  uint8_t check = 0;
  for (uint8_t b : bytes) check ^= b;
  return check;
}

std::vector<uint8_t> BuildRequestFrame(std::span<const uint8_t> message) {
  const uint32_t length = static_cast<uint32_t>(message.size());
  std::vector<uint8_t> frame;
  frame.reserve(message.size() + kFrameOverhead);
  frame.push_back(static_cast<uint8_t>((length >> 8) & 0xFF));
  frame.push_back(static_cast<uint8_t>(length & 0xFF));
  frame.insert(frame.end(), message.begin(), message.end());
  frame.push_back(CheckByteOf(message));
  return frame;
}

bool ReplyCheckMatches(std::span<const uint8_t> bodyAndCheck) {
  if (bodyAndCheck.empty()) return false;
  return CheckByteOf(bodyAndCheck.first(bodyAndCheck.size() - 1)) == bodyAndCheck.back();
}

bool SendFrame(ProbeLink& link, uint8_t command, const uint8_t* message, uint32_t length) {
  if (ReplyKindOf(command) == ReplyKind::kUnknown) return false;
  if (message == nullptr || length == 0) return false;
  const std::vector<uint8_t> frame = BuildRequestFrame({message, length});
  uint32_t written = 0;
  if (!TimedWrite(link, frame.data(), static_cast<uint32_t>(frame.size()), &written)) return false;
  return written == frame.size();
}

namespace {

bool ReadExactly(ProbeLink& link, uint8_t* buffer, uint32_t length) {
  uint32_t got = 0;
  return TimedRead(link, buffer, length, &got) && got == length;
}

// The body and check byte of a long reply whose length is already known.
bool ReadBodyAndCheck(ProbeLink& link, uint32_t bodyLength, uint8_t* buffer, uint32_t* count) {
  const uint32_t total = bodyLength + 1;
  if (total > kReplyBufferBytes) return false;
  if (!ReadExactly(link, buffer, total)) return false;
  *count = total;
  return ReplyCheckMatches({buffer, total});
}

}  // namespace

bool ReceiveReply(ProbeLink& link, uint8_t command, uint8_t* buffer, uint32_t* count) {
  const ReplyKind kind = ReplyKindOf(command);
  if (kind == ReplyKind::kUnknown || buffer == nullptr || count == nullptr) return false;
  *count = 0;
  uint8_t first = 0;
  if (!ReadExactly(link, &first, 1)) return false;
  if (kind == ReplyKind::kStatusByte) {
    buffer[0] = first;
    *count = 1;
    return true;
  }
  uint8_t low = 0;
  if (!ReadExactly(link, &low, 1)) return false;
  return ReadBodyAndCheck(link, static_cast<uint32_t>(first) << 8 | low, buffer, count);
}

bool ReceiveWatchedReply(ProbeLink& link, uint8_t* buffer, uint32_t* count) {
  if (buffer == nullptr || count == nullptr) return false;
  *count = 0;
  uint8_t low = 0;
  if (!ReadExactly(link, &low, 1)) return false;
  return ReadBodyAndCheck(link, low, buffer, count);
}
