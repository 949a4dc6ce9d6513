// The one dispatch of every command to its runner, below the program's run
// (cli_run.cpp) and the station, which both call it.
#include "cli/command_table.h"
#include "cli/runners.h"
#include "firmware/probe_session.h"

namespace {

int Dispatch(RunContext& context) {
  const CommandRow* row = RowOf(context.options.command);
  return row != nullptr && row->runner != nullptr ? row->runner(context) : kExitUsage;
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
