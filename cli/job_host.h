// The console's side of a job run for one probe: the procedures ask on the
// console (or take --yes), show on standard error and tick the update back
// to back; each record's JSON object goes to standard output.
#pragma once

#include "cli/console_window.h"
#include "cli/record_keeper.h"
#include "line/job_run.h"

class ConsoleJobHost : public JobHost {
 public:
  // index: the probe's device index, or kAnyProbeIndex for the one attached.
  ConsoleJobHost(ConsoleIo& io, ProgressText& progress, RecordKeeper& keeper,
                 const char* answeredBy, int index);

  OperatorWindow& Window() override { return window_; }
  void DriveUpdate(OperatorWindow& window, ProbeSession& session) override;
  LineClock& Clock() override { return clock_; }
  bool Interrupted() override { return io_.Interrupted(); }
  void Say(const std::string& text) override;
  void ShowError(const std::string& text) override;
  void Recorded(const OperationRecord& record, bool stored) override;
  void Progress(int done, int total) override;

 private:
  class ConsoleClock : public LineClock {
   public:
    explicit ConsoleClock(ConsoleIo& io) : io_(io) {}
    double Seconds() override { return io_.Seconds(); }
    void Wait(unsigned ms) override { io_.Wait(ms); }
    bool Interrupted() override { return io_.Interrupted(); }

   private:
    ConsoleIo& io_;
  };

  ConsoleIo& io_;
  ProgressText& progress_;
  RecordKeeper& keeper_;
  ConsoleWindow window_;
  ConsoleClock clock_;
};
