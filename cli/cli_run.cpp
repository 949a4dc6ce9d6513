// Usage errors and an unopenable log are found before any probe is touched;
// every operation then leaves exactly one JSON object (with --json) and one
// log line (with --log), also when it fails. write-serial and update go
// through the station, which runs them once or for a row of probes.
#include "cli/cli_run.h"

#include <memory>

#include "cli/cli_options.h"
#include "ledger/operation_record.h"
#include "cli/progress_text.h"
#include "cli/runners.h"
#include "cli/station.h"
#include "probe/operations.h"

namespace {

constexpr char kProgramName[] = "ostrelin-cli";

int UsageError(ConsoleIo& io, const std::string& reason) {
  io.Err(std::string(kProgramName) + ": " + reason + "\nTry '" + kProgramName + " --help'.\n");
  return kExitUsage;
}

ProgressText::Style ProgressStyleFor(const CliOptions& options, ConsoleIo& io) {
  if (options.quiet) return ProgressText::Style::kNone;
  return io.ErrorIsConsole() ? ProgressText::Style::kBar : ProgressText::Style::kLines;
}

int Dispatch(RunContext& context) {
  switch (context.options.command) {
    case CliCommand::kList:
      return RunList(context);
    case CliCommand::kReadSerial:
      return RunReadSerial(context);
    case CliCommand::kVerify:
      return RunVerify(context);
    case CliCommand::kCheck:
      return RunCheck(context);
    case CliCommand::kWriteSerial:
    case CliCommand::kUpdate:
    case CliCommand::kNone:
      break;
  }
  return kExitUsage;
}

}  // namespace

int RunCli(const std::vector<std::u16string>& args, CliEnvironment& environment) {
  ConsoleIo& io = environment.io;
  CliOptions options;
  std::string error;
  if (!ParseCliOptions(args, &options, &error)) return UsageError(io, error);
  if (options.help) {
    io.Out(CliHelpText());
    return kExitOk;
  }
  if (options.version) {
    io.Out(environment.versionText + "\n");
    return kExitOk;
  }
  if (!io.InputIsConsole()) {
    const std::string missing = MissingAnswerOption(options);
    if (!missing.empty()) return UsageError(io, missing);
  }

  std::unique_ptr<LogSink> log;
  if (!options.logPath.empty()) {
    log = environment.logs.Open(options.logPath, &error);
    if (!log) {
      io.Err("ERROR: the log file cannot be opened for appending: " + Utf8(options.logPath) +
             (error.empty() ? "" : " (" + error + ")") + "\n");
      return kExitLogFailed;
    }
  }
  bool logFailed = false;
  const LogContext logContext{"", environment.station, environment.toolVersion};

  ProgressText progress(io, ProgressStyleFor(options, io));
  RunContext context{io, progress, options, [&](const OperationRecord& record) {
                       progress.End();
                       if (options.json) io.Out(FormatJson(record) + "\n");
                       if (!log) return;
                       LogContext now = logContext;
                       now.timeUtc = io.TimeUtc();
                       if (!log->Append(CsvHeader(), FormatCsvLine(record, now))) {
                         logFailed = true;
                       }
                     }};
  context.answeredBy = options.yes ? "--yes" : nullptr;
  SelectProbe(options.probe);
  const bool probeJob =
      options.command == CliCommand::kWriteSerial || options.command == CliCommand::kUpdate;
  int status = probeJob ? RunProbeJob(context, log.get(), logFailed) : Dispatch(context);
  SelectProbe(kAnyProbeIndex);
  if (logFailed) {
    io.Err("ERROR: a line could not be written to the log file " + Utf8(options.logPath) + "\n");
    if (status == kExitOk) status = kExitLogFailed;
  }
  return status;
}
