// A scripted process for the console program: captures both output streams,
// answers questions from a list of typed lines, keeps the log in memory (or
// refuses to open it), lets a wait pass on the emulated probe's clock, and
// presses Ctrl+C when a test says so.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/console_io.h"
#include "emulator/model_transport.h"
#include "ledger/ledger.h"
#include "tests/support/memory_log_file.h"

class FakeConsole : public ConsoleIo {
 public:
  std::string out, err;
  bool inputIsConsole = false;
  bool errorIsConsole = false;
  std::deque<std::string> typedLines;
  int questionsRead = 0;
  // Ctrl+C before the Nth wait (1 = the first); 0: never.
  int interruptAtWait = 0;
  // Called at each wait with its number; may press Ctrl+C.
  std::function<void(int)> onWait;
  bool interrupted = false;
  bool outFails = false;
  int waits = 0;
  unsigned waitedMs = 0;

  // The device index another program holds; -1: none.
  int heldElsewhere = -1;

  void Out(const std::string& text) override { out += text; }
  bool HoldDevice(int index) override { return index != heldElsewhere; }
  void Err(const std::string& text) override { err += text; }
  bool OutputFailed() override { return outFails; }
  bool InputIsConsole() override { return inputIsConsole; }
  bool ErrorIsConsole() override { return errorIsConsole; }
  std::optional<std::string> ReadLine() override {
    ++questionsRead;
    if (typedLines.empty()) return std::nullopt;
    std::string line = typedLines.front();
    typedLines.pop_front();
    return line;
  }
  bool Interrupted() override { return interrupted; }
  void Wait(unsigned ms) override {
    ++waits;
    if (interruptAtWait != 0 && waits >= interruptAtWait) interrupted = true;
    if (onWait) onWait(waits);
    if (interrupted) return;
    waitedMs += ms;
    model_link::AdvanceClock(ms);
  }
  double Seconds() override { return static_cast<double>(model_link::NowMs()) / 1000.0; }
  std::string TimeUtc() override { return "2024-05-06T07:08:09Z"; }
};
