// The probe's seven commands. Each returns 0, 3 (the request could not be
// sent, or no probe is open) or 4 (the reply did not arrive whole and checked).
#pragma once

#include <cstdint>
#include <string_view>

#include "probe/frame.h"

inline constexpr int kCommandOk = 0;
inline constexpr int kCommandNotSent = 3;
inline constexpr int kCommandNotReceived = 4;
// CollectEraseReply: the erase reply has not begun to arrive.
inline constexpr int kCollectPending = 3;

inline constexpr uint32_t kMaxFlashBlockBytes = 1024;
inline constexpr int kMaxSerialUnits = 32;

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

int ReadSerialCommand(ProbeReply& reply);
int ReadVersionCommand(ProbeReply& reply);
// N is the text's length in UTF-16 code units.
int WriteSerialCommand(ProbeReply& reply, std::u16string_view serial);
// Sends the erase request and starts the reply watch that the update polls.
int StartEraseCommand();
// kCollectPending while the erase reply has not begun, then 0 with the reply,
// or 4.
int CollectEraseReply(ProbeReply& reply);
// n is 1 to kMaxFlashBlockBytes; the offset is the image offset of data[0].
int WriteFlashCommand(ProbeReply& reply, uint32_t imageOffset, const uint8_t* data, uint32_t n);
// The read address already includes the read-back base.
int ReadFlashCommand(ProbeReply& reply, uint32_t readAddress, uint32_t n);
int ExecuteUpdateCommand(ProbeReply& reply);
