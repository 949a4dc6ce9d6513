// The job window's edge for the native tests: a message waiting for the
// window is timer 0's tick, one period on the emulated probe's clock; every
// ERROR box and MES line is kept for the test to read.
#pragma once

#include <string>
#include <vector>

#include "app/job_window_mode.h"
#include "emulator/model_transport.h"
#include "firmware/update_procedure.h"
#include "tests/support/fake_window.h"

class TickingEdge : public JobWindowEdge {
 public:
  explicit TickingEdge(FakeWindow& window) : window_(window) {}
  WindowMode* mode = nullptr;
  std::vector<std::u16string> errors;
  std::u16string mesLine = u"(never shown)";
  unsigned refreshMs = 0;

  void AppendToTitle(const std::u16string&) override {}
  void MakeBoxesReadOnly() override {}
  void Enable(Control, bool) override {}
  void Focus(Control) override {}
  void ShowError(const std::u16string& text) override { errors.push_back(text); }
  void ShowRefusal(const std::u16string& text) override { errors.push_back(text); }
  void ShowWaitCursor() override {}
  void Pump(unsigned ms) override {
    model_link::AdvanceClock(window_.timerRunning ? window_.timerPeriod : ms);
    if (window_.timerRunning) mode->Tick(kUpdateTimerId);
  }
  double Seconds() override { return static_cast<double>(model_link::NowMs()) / 1000.0; }
  void Close() override {}
  void ShowMesLine(const std::u16string& text) override { mesLine = text; }
  void RefreshEvery(unsigned ms) override { refreshMs = ms; }

 private:
  FakeWindow& window_;
};
