// The request frames an emulated probe received, decoded once for every test:
// command code and payload, and the image offset and data length of the
// write and read flash block requests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "common/probe_protocol.h"
#include "emulator/probe_model.h"

namespace probe_requests {

// Write flash block: 0x00, offset (32 bits), data. Read flash block: read
// address (32 bits), 0x01, count (16 bits).
inline constexpr size_t kWriteFlashHeadBytes = 5;
inline constexpr size_t kReadFlashPayloadBytes = 7;

struct Request {
  uint8_t command = 0;
  // The bytes between the command code and the check byte.
  std::vector<uint8_t> payload;

  // A big-endian field of the payload; bytes past its end read as 0.
  uint32_t Field(size_t at, size_t bytes) const {
    uint32_t value = 0;
    for (size_t i = at; i < at + bytes; ++i) {
      value = value << 8 | (i < payload.size() ? payload[i] : 0);
    }
    return value;
  }
  // Whether the payload holds every field of its flash request.
  bool HasFlashFields() const {
    return command == kCmdWriteFlash ? payload.size() > kWriteFlashHeadBytes
                                     : payload.size() >= kReadFlashPayloadBytes;
  }
  // The image offset of the first byte: a read names it through its read
  // address, kReadBackBase above the offset, so both kinds compare alike.
  uint32_t FlashOffset() const {
    return command == kCmdWriteFlash ? Field(1, 4) : Field(0, 4) - kReadBackBase;
  }
  // Data bytes carried (write) or asked for (read).
  uint32_t FlashLength() const {
    return command == kCmdWriteFlash ? static_cast<uint32_t>(payload.size() - kWriteFlashHeadBytes)
                                     : Field(5, 2);
  }
};

// Every request the probe received, in order. A frame too short to carry a
// command code decodes as command 0.
inline std::vector<Request> Decode(const probe_model::ProbeModel& probe) {
  std::vector<Request> requests;
  for (const auto& frame : probe.RequestsReceived()) {
    Request request;
    if (frame.size() >= kFrameOverhead + 1) {
      request.command = frame[2];
      request.payload.assign(frame.begin() + 3, frame.end() - 1);
    }
    requests.push_back(std::move(request));
  }
  return requests;
}

inline std::vector<Request> OfCommand(const probe_model::ProbeModel& probe, uint8_t command) {
  std::vector<Request> requests;
  for (Request& request : Decode(probe)) {
    if (request.command == command) requests.push_back(std::move(request));
  }
  return requests;
}

// What one write or read flash block request covers of the image.
struct FlashSpan {
  uint32_t offset;
  uint32_t length;
  bool operator==(const FlashSpan&) const = default;
};

inline void PrintTo(const FlashSpan& span, std::ostream* out) {
  *out << "{offset 0x" << std::hex << span.offset << std::dec << ", " << span.length << " bytes}";
}

// The spans of the write (kCmdWriteFlash) or read (kCmdReadFlash) requests
// received, in order; a request cut short of its fields fails the test.
inline std::vector<FlashSpan> FlashSpans(const probe_model::ProbeModel& probe, uint8_t command) {
  std::vector<FlashSpan> spans;
  for (const Request& request : OfCommand(probe, command)) {
    if (!request.HasFlashFields()) {
      ADD_FAILURE() << "a flash request of " << request.payload.size() << " payload bytes";
      continue;
    }
    spans.push_back({request.FlashOffset(), request.FlashLength()});
  }
  return spans;
}

}  // namespace probe_requests
