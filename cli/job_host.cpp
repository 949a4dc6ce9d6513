// The console's host of a job run: its window, pace, lines and records.
#include "cli/job_host.h"

ConsoleJobHost::ConsoleJobHost(ConsoleIo& io, ProgressText& progress, RecordKeeper& keeper,
                               const char* answeredBy, int index)
    : io_(io),
      progress_(progress),
      keeper_(keeper),
      window_(io, progress, answeredBy, true),
      clock_(io) {
  window_.ChooseProbe(index);
}

void ConsoleJobHost::DriveUpdate(OperatorWindow& window, ProbeSession& session) {
  TickConsoleUpdate(io_, window_, window, session);
}

void ConsoleJobHost::Say(const std::string& text) {
  progress_.End();
  io_.Err(text + "\n");
}

void ConsoleJobHost::ShowError(const std::string& text) {
  progress_.End();
  io_.Err("ERROR: " + text + "\n");
}

void ConsoleJobHost::Recorded(const OperationRecord& record, bool stored) {
  keeper_.EmitRecorded(record, stored);
}

void ConsoleJobHost::Progress(int done, int total) {
  window_.SetPhase("compare");
  progress_.Show("compare", done, total);
}
