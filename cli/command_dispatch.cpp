// The one dispatch of every command to its runner, below the program's run
// (cli_run.cpp) and the station, which both call it.
#include "cli/job_runners.h"
#include "cli/runners.h"
#include "firmware/probe_session.h"

namespace {

int Dispatch(RunContext& context) {
  switch (context.options.command) {
    case CliCommand::kList:
      return RunList(context);
    case CliCommand::kReadSerial:
      return RunReadSerial(context);
    case CliCommand::kWriteSerial:
      return RunWriteSerial(context);
    case CliCommand::kUpdate:
      return RunUpdate(context);
    case CliCommand::kVerify:
      return RunVerify(context);
    case CliCommand::kCheck:
      return RunCheck(context);
    case CliCommand::kSerials:
      return RunSerials(context);
    case CliCommand::kReport:
      return RunReport(context);
    case CliCommand::kJobNew:
      return RunJobNew(context);
    case CliCommand::kJobCheck:
    case CliCommand::kRun:
    case CliCommand::kNone:
      break;
  }
  return kExitUsage;
}

}  // namespace

int RunCommand(RunContext& context) {
  if (context.session != nullptr) return Dispatch(context);
  ProbeSession session;
  context.session = &session;
  const int status = Dispatch(context);
  context.session = nullptr;
  return status;
}
