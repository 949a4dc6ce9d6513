// A front-end of a job run for the native tests: the recording fake window,
// the update ticked back to back on the emulated probes' clock, every line
// said and every record kept for the test to read.
#pragma once

#include <string>
#include <vector>

#include "emulator/model_transport.h"
#include "firmware/update_procedure.h"
#include "line/job_run.h"
#include "tests/support/fake_window.h"

class ModelLineClock : public LineClock {
 public:
  double Seconds() override { return static_cast<double>(model_link::NowMs()) / 1000.0; }
  void Wait(unsigned ms) override { model_link::AdvanceClock(ms); }
  bool Interrupted() override { return false; }
};

class FakeJobHost : public JobHost {
 public:
  FakeWindow window;
  std::vector<std::string> said;
  std::vector<std::string> errors;
  std::vector<OperationRecord> records;
  // The run is stopped once this many update steps have run; -1: never.
  int stopAfterTicks = -1;

  OperatorWindow& Window() override { return window; }
  void DriveUpdate(OperatorWindow& ticked, ProbeSession& session) override {
    // Far more ticks than any update takes: a loop that never ends fails.
    for (int tick = 0; tick < 100000 && IsUpdateRunning(session) && window.timerRunning; ++tick) {
      if (stopAfterTicks >= 0 && tick >= stopAfterTicks) {
        stopped_ = true;
        return;
      }
      model_link::AdvanceClock(window.timerPeriod);
      UpdateTimerTick(ticked, session, kUpdateTimerId);
    }
  }
  LineClock& Clock() override { return clock_; }
  bool Interrupted() override { return stopped_; }
  void Say(const std::string& text) override { said.push_back(text); }
  void ShowError(const std::string& text) override { errors.push_back(text); }
  void Recorded(const OperationRecord& record, bool) override { records.push_back(record); }
  void Progress(int, int) override {}

 private:
  ModelLineClock clock_;
  bool stopped_ = false;
};
