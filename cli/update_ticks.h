// The console's pace for the window's update steps and waits: timer 0's
// ticks back to back (only the erase poll's 500 ms is waited out, so the
// probe gets the time it needs and the poll count keeps its meaning), and
// the line's clock on the console's.
#pragma once

#include <optional>

#include "cli/console_window.h"
#include "firmware/probe_session.h"
#include "firmware/update_procedure.h"
#include "line/version_wait.h"

// Ticks the update that StartUpdate began until it ends, Ctrl+C, or it
// reaches stopAt. timer: the console window whose timer 0 the steps start
// and stop; ticked: the window the steps show in (the same one, or one the
// job run wraps round it). True when it stopped at stopAt.
bool TickConsoleUpdate(ConsoleIo& io, ConsoleWindow& timer, OperatorWindow& ticked,
                       ProbeSession& session, std::optional<UpdateState> stopAt = std::nullopt);

class ConsoleClock : public LineClock {
 public:
  explicit ConsoleClock(ConsoleIo& io) : io_(io) {}
  double Seconds() override { return io_.Seconds(); }
  void Wait(unsigned ms) override { io_.Wait(ms); }
  bool Interrupted() override { return io_.Interrupted(); }

 private:
  ConsoleIo& io_;
};
