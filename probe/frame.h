// Request frames and replies on the probe link: building a request with its
// check byte, and reading a status-byte reply, a long reply or the rest of
// the watched erase reply through the timed transfers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "common/probe_protocol.h"
#include "probe/probe_link.h"

enum class ReplyKind { kUnknown, kStatusByte, kLong };

ReplyKind ReplyKindOf(uint8_t command);
// XOR of the bytes, starting from 0.
uint8_t CheckByteOf(std::span<const uint8_t> bytes);
// The whole request frame for a message (command code and payload); only the
// low 16 bits of its length go into the length field.
std::vector<uint8_t> BuildRequestFrame(std::span<const uint8_t> message);
// Whether the last byte of body-plus-check is the XOR of the others.
bool ReplyCheckMatches(std::span<const uint8_t> bodyAndCheck);

// Writes the frame of message[0 .. length) in one timed write. Refuses a
// command outside the probe's seven before anything is written.
bool SendFrame(ProbeLink& link, uint8_t command, const uint8_t* message, uint32_t length);
// Reads the reply of the command's kind into buffer (kReplyBufferBytes).
// *count: 1 for a status byte, M + 1 (body and check byte) for a long reply.
bool ReceiveReply(ProbeLink& link, uint8_t command, uint8_t* buffer, uint32_t* count);
// Reads the rest of the erase reply once the reply watch has taken its first
// byte; the low length byte alone gives the body length.
bool ReceiveWatchedReply(ProbeLink& link, uint8_t* buffer, uint32_t* count);
