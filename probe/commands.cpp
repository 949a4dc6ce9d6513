// The probe's seven commands: one request frame and one reply each; the erase
// only sends and leaves the reply watch running.
#include "probe/commands.h"

#include <vector>

#include "probe/transport.h"

namespace {

void PutBigEndian16(std::vector<uint8_t>& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
  out.push_back(static_cast<uint8_t>(value & 0xFF));
}

void PutBigEndian32(std::vector<uint8_t>& out, uint32_t value) {
  PutBigEndian16(out, value >> 16);
  PutBigEndian16(out, value & 0xFFFF);
}

int Exchange(ProbeLink& link, const std::vector<uint8_t>& message, ProbeReply& reply) {
  reply.count = 0;
  if (!IsProbeOpen(link)) return kCommandNotSent;
  const uint8_t command = message[0];
  if (message.size() > kMaxMessageBytes ||
      !SendFrame(link, command, message.data(), static_cast<uint32_t>(message.size()))) {
    return kCommandNotSent;
  }
  uint32_t count = 0;
  if (!ReceiveReply(link, command, reply.bytes, &count)) {
    reply.count = 0;
    return kCommandNotReceived;
  }
  reply.count = count;
  return kCommandOk;
}

}  // namespace

int ReadSerialCommand(ProbeLink& link, ProbeReply& reply) {
  return Exchange(link, {kCmdReadSerial}, reply);
}

int ReadVersionCommand(ProbeLink& link, ProbeReply& reply) {
  return Exchange(link, {kCmdReadVersion}, reply);
}

int WriteSerialCommand(ProbeLink& link, ProbeReply& reply, std::u16string_view serial) {
  std::vector<uint8_t> message{kCmdWriteSerial};
  PutBigEndian16(message, static_cast<uint32_t>(serial.size()));
  for (char16_t unit : serial) PutBigEndian16(message, unit);
  return Exchange(link, message, reply);
}

int StartEraseCommand(ProbeLink& link) {
  if (!IsProbeOpen(link)) return kCommandNotSent;
  const uint8_t message[] = {kCmdEraseFlash, 0x00};
  if (!SendFrame(link, kCmdEraseFlash, message, sizeof message)) return kCommandNotSent;
  if (!StartReplyWatch(link)) return kCommandNotReceived;
  return kCommandOk;
}

EraseCollect CollectEraseReply(ProbeLink& link, ProbeReply& reply) {
  reply.count = 0;
  switch (PollReplyWatch(link)) {
    case kWatchNone:
      return EraseCollect::kFailed;
    case kWatchPending:
      return EraseCollect::kPending;
    case kWatchArrived:
      break;
  }
  uint32_t count = 0;
  if (!ReceiveWatchedReply(link, reply.bytes, &count)) return EraseCollect::kFailed;
  reply.count = count;
  return EraseCollect::kArrived;
}

int WriteFlashCommand(ProbeLink& link, ProbeReply& reply, uint32_t imageOffset, const uint8_t* data,
                      uint32_t n) {
  reply.count = 0;
  if (data == nullptr || n == 0 || n > kMaxFlashBlockBytes) return kCommandNotSent;
  std::vector<uint8_t> message{kCmdWriteFlash, 0x00};
  PutBigEndian32(message, imageOffset);
  message.insert(message.end(), data, data + n);
  return Exchange(link, message, reply);
}

int ReadFlashCommand(ProbeLink& link, ProbeReply& reply, uint32_t readAddress, uint32_t n) {
  std::vector<uint8_t> message{kCmdReadFlash};
  PutBigEndian32(message, readAddress);
  message.push_back(0x01);
  PutBigEndian16(message, n);
  return Exchange(link, message, reply);
}

int ExecuteUpdateCommand(ProbeLink& link, ProbeReply& reply) {
  return Exchange(link, {kCmdExecuteUpdate}, reply);
}
