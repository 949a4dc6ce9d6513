// The request frames an emulated probe received, decoded once for every test:
// command code and payload, and what a write or read flash block request
// covers of the image.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "common/probe_protocol.h"
#include "emulator/probe_model.h"

namespace probe_requests {

struct Request {
  uint8_t command = 0;           // 0 for a frame too short to carry one
  std::vector<uint8_t> payload;  // between the command code and the check byte

  // Write flash block: 0x00, offset (32 bits), data. Read flash block: read
  // address (32 bits), 0x01, count (16 bits); the address lies kReadBackBase
  // above the offset, so reads and writes of the same bytes compare alike.
  bool HasFlashFields() const { return payload.size() >= (IsWrite() ? 6u : 7u); }
  uint32_t FlashOffset() const { return IsWrite() ? Be(1, 4) : Be(0, 4) - kReadBackBase; }
  uint32_t FlashLength() const {
    return IsWrite() ? static_cast<uint32_t>(payload.size() - 5) : Be(5, 2);
  }

 private:
  bool IsWrite() const { return command == kCmdWriteFlash; }
  uint32_t Be(size_t at, size_t bytes) const {
    uint32_t value = 0;
    for (size_t i = at; i < at + bytes; ++i) value = value << 8 | payload.at(i);
    return value;
  }
};

// Every request the probe received in order, or only those of one command.
inline std::vector<Request> Decode(const probe_model::ProbeModel& probe, int onlyCommand = -1) {
  std::vector<Request> requests;
  for (const auto& frame : probe.RequestsReceived()) {
    Request request;
    if (frame.size() > kFrameOverhead) {
      request.command = frame[2];
      request.payload.assign(frame.begin() + 3, frame.end() - 1);
    }
    if (onlyCommand < 0 || request.command == onlyCommand) requests.push_back(request);
  }
  return requests;
}

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
  for (const Request& request : Decode(probe, command)) {
    if (request.HasFlashFields()) {
      spans.push_back({request.FlashOffset(), request.FlashLength()});
    } else {
      ADD_FAILURE() << "a flash request of " << request.payload.size() << " payload bytes";
    }
  }
  return spans;
}

}  // namespace probe_requests
