// Common set-up of the probe link tests: the in-process transport with its
// probe models and the fixture's own probe link, both let go and made anew
// before and after every test and before every case of a table run in one
// test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "emulator/model_transport.h"
#include "emulator/probe_model.h"
#include "probe/frame.h"
#include "probe/operations.h"
#include "probe/probe_link.h"
#include "tests/support/probe_requests.h"

// A long reply as the probe puts it on the wire: length, body, check byte
// (with checkFlip XORed in, to spoil it).
inline std::vector<uint8_t> LongReplyOnWire(const std::vector<uint8_t>& body,
                                            uint8_t checkFlip = 0) {
  // Sized first: GCC 12 warns of a bounds fault in an insert into a vector
  // built from a brace list.
  std::vector<uint8_t> wire(body.size() + 3);
  wire[0] = static_cast<uint8_t>(body.size() >> 8);
  wire[1] = static_cast<uint8_t>(body.size() & 0xFF);
  std::copy(body.begin(), body.end(), wire.begin() + 2);
  wire.back() = static_cast<uint8_t>(CheckByteOf(body) ^ checkFlip);
  return wire;
}

// Names each case of a parameterised test after the case's name member.
struct CaseName {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return info.param.name;
  }
};

class ProbeLinkTest : public ::testing::Test {
 public:
  void SetUp() override { ResetLinkAndModels(); }
  void TearDown() override { ResetLinkAndModels(); }

  static probe_model::ProbeModel& Attach(probe_model::ProbeSettings settings = {}) {
    return model_link::Attach(0, std::move(settings));
  }
  // The world of a fresh test for the next case of a table run in one test,
  // with a probe attached.
  probe_model::ProbeModel& AttachAfresh(probe_model::ProbeSettings settings = {}) {
    ResetLinkAndModels();
    return Attach(std::move(settings));
  }

  // Requests of one command that the probe received.
  static std::vector<probe_requests::Request> Requests(const probe_model::ProbeModel& model,
                                                       uint8_t command) {
    return probe_requests::Decode(model, command);
  }

  static probe_model::Fault Fault(probe_model::FaultKind kind, uint8_t command = 0,
                                  uint32_t nth = 0) {
    return {.kind = kind, .command = command, .nth = nth};
  }

 protected:
  // The link is let go first: closing it still counts on the models.
  void ResetLinkAndModels() {
    ForgetProbeState();
    model_link::Reset();
  }
  // A fixture holding more of a probe's state (a whole session) lets go of
  // that too.
  virtual void ForgetProbeState() { link_ = ProbeLink{}; }

  ProbeLink link_;
};
