// The probe's seven commands. Each returns 0, 3 (the request could not be
// sent, or the link has no probe open) or 4 (the reply did not arrive whole and checked).
#pragma once

#include <cstdint>
#include <string_view>

#include "common/result_codes.h"
#include "probe/frame.h"

// A command's result is a result code of the link.
inline constexpr int kCommandOk = kResultOk;
inline constexpr int kCommandNotSent = kResultNotSent;
inline constexpr int kCommandNotReceived = kResultNotReceived;

// How far the watched erase reply has come.
enum class EraseCollect {
  kPending,  // its first byte has not arrived
  kArrived,  // read whole and checked
  kFailed,   // no watch, or the rest of the reply did not arrive checked
};

// What one exchange handed back: a long reply's body followed by its check
// byte, or the single status byte. count says how many of the bytes are this
// reply's, so nothing left from an earlier exchange is ever judged.
struct ProbeReply {
  uint8_t bytes[kReplyBufferBytes];
  uint32_t count = 0;
};

// Body bytes of a long reply (its check byte excluded).
inline uint32_t LongReplyBodyLength(const ProbeReply& reply) {
  return reply.count == 0 ? 0 : reply.count - 1;
}

int ReadSerialCommand(ProbeLink& link, ProbeReply& reply);
int ReadVersionCommand(ProbeLink& link, ProbeReply& reply);
// N is the text's length in UTF-16 code units.
int WriteSerialCommand(ProbeLink& link, ProbeReply& reply, std::u16string_view serial);
// Sends the erase request and starts the reply watch that the update polls.
int StartEraseCommand(ProbeLink& link);
EraseCollect CollectEraseReply(ProbeLink& link, ProbeReply& reply);
// n is 1 to kMaxFlashBlockBytes; the offset is the image offset of data[0].
int WriteFlashCommand(ProbeLink& link, ProbeReply& reply, uint32_t imageOffset, const uint8_t* data,
                      uint32_t n);
// The read address already includes the read-back base.
int ReadFlashCommand(ProbeLink& link, ProbeReply& reply, uint32_t readAddress, uint32_t n);
int ExecuteUpdateCommand(ProbeLink& link, ProbeReply& reply);
