// The console program's commands, one row each: its name and argument, what
// it may do (touch a probe, and then hold the device index it is given;
// run on a tray; run as a station; need a log), its runner and its help.
// The parser, the help, the dispatch and the device hold all read it, so a
// new command is one row and its runner.
#pragma once

#include <string_view>

#include "cli/cli_options.h"

struct RunContext;
using CommandRunner = int (*)(RunContext& context);

struct CommandRow {
  const char* name;  // as typed: "write-serial", "job new"
  CliCommand command;
  const char* argument;  // "TEXT", "FILE" ...; "" when it takes none
  bool argumentOptional;
  // It opens probes: --probe applies, and --probe N's index is held for the
  // run (a tray holds each of its indices).
  bool touchesProbe;
  bool onTray;   // --probe all applies
  bool station;  // --repeat applies
  bool needsLog;
  // nullptr: the program runs it itself (job check, run JOB).
  CommandRunner runner;
  // Its lines under "Commands:" in --help, the name's column included.
  const char* help;
};

// The row of a command as typed; nullptr for none.
const CommandRow* FindCommandRow(std::string_view name);
// The row of a command; nullptr for kNone.
const CommandRow* RowOf(CliCommand command);
// The commands with a property, by name, as a usage error lists them
// ("list, read-serial and update").
std::string CommandsWhere(bool CommandRow::*property);
// The help's "Commands:" section.
std::string CommandHelp();
