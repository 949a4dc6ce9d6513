// The one dispatch of every command to its runner, below the program's run
// (cli_run.cpp) and the station, which both call it.
#include "cli/command_table.h"
#include "cli/runners.h"
#include "firmware/probe_session.h"

namespace {

int Dispatch(RunContext& context) {
  const CommandSpec* spec = SpecOf(context.options.command);
  return spec != nullptr && spec->runner != nullptr ? spec->runner(context) : kExitUsage;
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
