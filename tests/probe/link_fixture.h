// Common set-up of the probe link tests: the in-process transport with its
// probe models, reset before and after every test.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "emulator/model_transport.h"
#include "emulator/probe_model.h"
#include "probe/frame.h"
#include "probe/link_reset.h"

class ProbeLinkTest : public ::testing::Test {
 public:
  void SetUp() override {
    model_link::Reset();
    ResetProbeLinkForTests();
  }
  void TearDown() override {
    ResetProbeLinkForTests();
    model_link::Reset();
  }

  static probe_model::ProbeModel& Attach(probe_model::ProbeSettings settings = {}) {
    return model_link::Attach(0, std::move(settings));
  }

  // Request frames of one command that the probe received.
  static std::vector<std::vector<uint8_t>> Requests(const probe_model::ProbeModel& model,
                                                    uint8_t command) {
    std::vector<std::vector<uint8_t>> frames;
    for (auto& frame : model.RequestsReceived()) {
      if (frame.size() > 2 && frame[2] == command) frames.push_back(frame);
    }
    return frames;
  }

  static probe_model::Fault Fault(probe_model::FaultKind kind, uint8_t command = 0,
                                  uint32_t nth = 0) {
    probe_model::Fault fault;
    fault.kind = kind;
    fault.command = command;
    fault.nth = nth;
    return fault;
  }
};
