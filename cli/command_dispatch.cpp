// The one dispatch of every command to its runner, below the program's run
// (cli_run.cpp) and the station, which both call it.
#include "cli/command_table.h"
#include "cli/runners.h"

int RunCommand(RunContext& context) {
  const CommandSpec* spec = SpecOf(context.options.command);
  return spec != nullptr && spec->runner != nullptr ? spec->runner(context) : kExitUsage;
}
