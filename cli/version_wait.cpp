// The line's version wait on the console: said on standard error, ended by
// Ctrl+C, and its outcome written into the record.
#include "cli/version_wait.h"

#include "firmware/probe_session.h"
#include "line/line_status.h"
#include "line/version_wait.h"

namespace {

class ConsoleClock : public LineClock {
 public:
  explicit ConsoleClock(ConsoleIo& io) : io_(io) {}
  double Seconds() override { return io_.Seconds(); }
  void Wait(unsigned ms) override { io_.Wait(ms); }
  bool Interrupted() override { return io_.Interrupted(); }

 private:
  ConsoleIo& io_;
};

}  // namespace

void WaitForVersion(RunContext& context, int index, OperationRecord& record) {
  const std::string& expected = *context.options.expectVersion;
  context.progress.End();
  context.io.Err("Waiting up to " + std::to_string(context.options.resetTimeoutSeconds) +
                 " s for the probe to answer version " + expected + "...\n");
  ConsoleClock clock(context.io);
  const VersionWait wait = WaitForProbeVersion(context.session->link, index, expected,
                                               context.options.resetTimeoutSeconds, clock);
  record.firmwareAfter = wait.seen;
  // Ctrl+C: FinishRecord reports the stop.
  if (wait.status == kLineInterrupted) return;
  if (wait.status == 0) {
    context.io.Err("The probe answers version " + expected + ".\n");
    return;
  }
  record.result = wait.status;
  record.message = wait.message;
  context.io.Err("ERROR: " + record.message + "\n");
}
