// The console of a tray run: every probe's thread writes through it, so a
// line of one probe never breaks into a line of another. Standard error shows
// one line per probe, prefixed with its index: a block redrawn in place on a
// console that can move its cursor, plain lines otherwise. Each probe's
// standard output is kept apart and printed in index order once all are done.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "cli/console_io.h"

// Whole writes of several threads, one after another. Everything else passes
// through: a wait must never hold the others up.
class LockedConsoleIo : public ConsoleIo {
 public:
  explicit LockedConsoleIo(ConsoleIo& io) : io_(io) {}
  void Out(const std::string& text) override;
  void Err(const std::string& text) override;
  bool InputIsConsole() override { return io_.InputIsConsole(); }
  bool ErrorIsConsole() override { return io_.ErrorIsConsole(); }
  bool ErrorRedraws() override { return io_.ErrorRedraws(); }
  std::optional<std::string> ReadLine() override;
  bool Interrupted() override { return io_.Interrupted(); }
  void Wait(unsigned ms) override { io_.Wait(ms); }
  double Seconds() override { return io_.Seconds(); }
  std::string TimeUtc() override { return io_.TimeUtc(); }
  bool OutputFailed() override;
  bool HoldDevice(int index) override { return io_.HoldDevice(index); }

 private:
  ConsoleIo& io_;
  std::mutex lock_;
};

class TrayDisplay {
 public:
  // indices: the probes' device indices, one slot each in that order.
  TrayDisplay(ConsoleIo& io, bool redraw, const std::vector<int>& indices);
  // Standard error text of the probe in slot: a line end finishes its line, a
  // carriage return starts it again (a bar redrawn).
  void Take(size_t slot, const std::string& text);
  // Shows what is left; a block stays on screen with the cursor below it.
  void Finish();

 private:
  struct Slot {
    std::string prefix;
    std::string partial;
    std::string shown;
  };
  void Draw(bool force);

  ConsoleIo& io_;
  const bool redraw_;
  std::mutex lock_;
  std::vector<Slot> slots_;
  bool drawn_ = false;
  bool dirty_ = false;
  double lastDraw_ = 0;
};

// One probe's console: its standard output is kept for the report, its
// standard error goes to its slot of the display; it never reads input (the
// tray's one question is asked before the threads start).
class ProbeConsole : public ConsoleIo {
 public:
  ProbeConsole(ConsoleIo& io, TrayDisplay& display, size_t slot)
      : io_(io), display_(display), slot_(slot) {}
  void Out(const std::string& text) override { out_ += text; }
  void Err(const std::string& text) override { display_.Take(slot_, text); }
  bool InputIsConsole() override { return false; }
  bool ErrorIsConsole() override { return io_.ErrorIsConsole(); }
  std::optional<std::string> ReadLine() override { return std::nullopt; }
  bool Interrupted() override { return io_.Interrupted(); }
  void Wait(unsigned ms) override { io_.Wait(ms); }
  double Seconds() override { return io_.Seconds(); }
  std::string TimeUtc() override { return io_.TimeUtc(); }
  const std::string& out() const { return out_; }

 private:
  ConsoleIo& io_;
  TrayDisplay& display_;
  size_t slot_;
  std::string out_;
};
