// The commands of the console program, each over the same procedures and
// operations the window uses. A runner reports every operation it ran to
// emit (one record; list one per probe) and returns the exit status.
#pragma once

#include <functional>

#include "cli/cli_options.h"
#include "cli/console_io.h"
#include "cli/operation_record.h"
#include "cli/progress_text.h"

struct RunContext {
  ConsoleIo& io;
  ProgressText& progress;
  const CliOptions& options;
  std::function<void(const OperationRecord&)> emit;
};

int RunList(RunContext& context);
int RunReadSerial(RunContext& context);
int RunWriteSerial(RunContext& context);
int RunUpdate(RunContext& context);
int RunVerify(RunContext& context);
int RunCheck(RunContext& context);

// The message of an interrupted operation, and the record's closing figures.
inline constexpr char kInterruptedText[] = "Stopped by Ctrl+C.";
void FinishRecord(RunContext& context, OperationRecord& record, double started);
