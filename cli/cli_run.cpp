// Usage errors and an unusable log are found before any probe is touched;
// every operation then leaves exactly one JSON object (with --json) and one
// log line (with --log), also when it fails, and a run that ends before any
// operation leaves one JSON object saying why. write-serial and update go
// through the station, which runs them once or for a row of probes.
#include "cli/cli_run.h"

#include <algorithm>
#include <memory>

#include "cli/cli_options.h"
#include "cli/command_table.h"
#include "cli/job_runners.h"
#include "cli/mes_runners.h"
#include "cli/progress_text.h"
#include "cli/record_keeper.h"
#include "cli/runners.h"
#include "cli/station.h"
#include "cli/tray.h"
#include "cli/tray_console.h"
#include "common/probe_protocol.h"
#include "ledger/log_target.h"
#include "ledger/operation_record.h"
#include "line/job_load.h"
#include "line/line_status.h"

namespace {

constexpr char kProgramName[] = "ostrelin-cli";
// How long a program waits for another that works on its --probe N, and how
// often it looks again meanwhile.
constexpr unsigned kDeviceHeldWaitMs = 10000;
constexpr unsigned kDeviceHeldRetryMs = 250;

// The ledger's waits for a store another program holds, on the console:
// said on standard error, ended by Ctrl+C.
class ConsoleWaiter : public LedgerWaiter {
 public:
  explicit ConsoleWaiter(ConsoleIo& io) : io_(io) {}
  void Say(const std::string& text) override { io_.Err(text); }
  bool Wait(unsigned ms) override {
    if (io_.Interrupted()) return false;
    io_.Wait(ms);
    return !io_.Interrupted();
  }

 private:
  ConsoleIo& io_;
};

// The JSON object of a run that ended before any operation, when --json is
// among the arguments (the command line itself may be what failed); a
// refused job's object says why in one word too.
void PrintEndObject(ConsoleIo& io, const std::vector<std::u16string>& args, CliCommand command,
                    int status, const std::string& message, const char* reason = nullptr) {
  bool json = false;
  for (const std::u16string& arg : args) json = json || arg == u"--json";
  if (!json) return;
  OperationRecord record;
  record.command = CommandName(command);
  record.result = status;
  record.message = message;
  std::string object = FormatJson(record);
  if (reason != nullptr && !object.empty() && object.back() == '}') {
    object.insert(object.size() - 1, ",\"reason\":" + JsonString(reason));
  }
  io.Out(object + "\n");
}

int UsageError(ConsoleIo& io, const std::vector<std::u16string>& args, CliCommand command,
               const std::string& reason) {
  io.Err(std::string(kProgramName) + ": " + reason + "\nTry '" + kProgramName + " --help'.\n");
  PrintEndObject(io, args, command, kExitUsage, reason);
  return kExitUsage;
}

// The device indices this run holds, each taken once and kept until the
// program ends, so no other ostrelin-cli works on those probes meanwhile.
class DeviceHolds {
 public:
  explicit DeviceHolds(ConsoleIo& io) : io_(io) {}

  // 0, or the status that ends the run (said on standard error): 64 when
  // another program kept the index for the whole wait, 130 on Ctrl+C.
  int Hold(int index) {
    if (std::find(held_.begin(), held_.end(), index) != held_.end()) return kExitOk;
    const std::string path = DevicePathOf(index);
    for (unsigned waited = 0;; waited += kDeviceHeldRetryMs) {
      if (io_.HoldDevice(index)) {
        held_.push_back(index);
        return kExitOk;
      }
      if (waited == 0) {
        io_.Err("Another ostrelin-cli works on the probe at " + path + ": waiting up to " +
                std::to_string(kDeviceHeldWaitMs / 1000) + " s for it; Ctrl+C stops.\n");
      }
      if (io_.Interrupted()) return kExitInterrupted;
      if (waited >= kDeviceHeldWaitMs) return kExitUsage;
      io_.Wait(kDeviceHeldRetryMs);
    }
  }

 private:
  ConsoleIo& io_;
  std::vector<int> held_;
};

std::string HeldElsewhereText(int index) {
  return "another ostrelin-cli kept working on --probe " + std::to_string(index) +
         ": give each program its own --probe N";
}

ProgressText::Style ProgressStyleFor(const CliOptions& options, ConsoleIo& io) {
  if (options.quiet) return ProgressText::Style::kNone;
  return io.ErrorIsConsole() ? ProgressText::Style::kBar : ProgressText::Style::kLines;
}

}  // namespace

int RunCli(const std::vector<std::u16string>& args, CliEnvironment& environment) {
  // A tray's threads write through it too: whole writes, one at a time.
  LockedConsoleIo lockedIo(environment.io);
  ConsoleIo& io = lockedIo;
  CliOptions options;
  std::string error;
  if (!ParseCliOptions(args, &options, &error)) return UsageError(io, args, options.command, error);
  if (options.help || options.version) {
    const std::string text = options.help ? CliHelpText() : environment.versionText;
    if (options.json) {
      // A reader of standard output takes one JSON object, whatever it asked.
      OperationRecord record;
      record.command = options.help ? "help" : "version";
      record.message = text;
      io.Out(FormatJson(record) + "\n");
    } else {
      io.Out(options.help ? text : text + "\n");
    }
    if (!io.OutputFailed()) return kExitOk;
    io.Err("ERROR: standard output could not be written.\n");
    return kExitLogFailed;
  }
  if (!io.InputIsConsole()) {
    const std::string missing = MissingAnswerOption(options);
    if (!missing.empty()) return UsageError(io, args, options.command, missing);
  }

  DeviceHolds holds(io);
  if (options.probe >= 0 && RowOf(options.command)->touchesProbe) {
    const int held = holds.Hold(options.probe);
    if (held == kExitUsage) {
      return UsageError(io, args, options.command, HeldElsewhereText(options.probe));
    }
    if (held != kExitOk) {
      PrintEndObject(io, args, options.command, held, "Stopped by Ctrl+C.");
      return held;
    }
  }

  ConsoleWaiter waiter(io);
  // Without the system's signature check no key can be trusted either.
  const JobTrustContext trust{environment.crypto != nullptr ? environment.trustedKeys : nullptr,
                              environment.crypto, io.TimeUtc()};
  if (IsMesCommand(options.command)) return RunMesCommand(io, options, environment);
  if (options.command == CliCommand::kJobCheck) {
    ProgressText progress(io, ProgressText::Style::kNone);
    RunContext context{io, progress, options, [](OperationRecord&, bool) {}};
    context.trust = &trust;
    const int status = RunJobCheck(context, environment.ledgers, waiter);
    return io.OutputFailed() && status == kExitOk ? kExitLogFailed : status;
  }
  // run JOB: the job's one run, and the job names its store.
  LineJob job;
  std::unique_ptr<JobRun> jobRun;
  // Declared after the job run: its sender stops before the run goes.
  std::unique_ptr<MesLink> mes;
  if (options.command == CliCommand::kRun) {
    std::string message;
    if (JobRun::Open(options.argument, &jobRun, &message) != 0) {
      io.Err("ERROR: " + message + "\n");
      PrintEndObject(io, args, options.command, kExitJobUnusable, message);
      return kExitJobUnusable;
    }
    JobTrust decided;
    if (jobRun->Authorize(trust, &decided, &message) != 0) {
      io.Err("ERROR: " + message + "\n");
      PrintEndObject(io, args, options.command, kExitNotAuthorized, message,
                     TrustReasonWord(decided.reason));
      return kExitNotAuthorized;
    }
    job = jobRun->job();
    if (job.led == JobLed::kAsk && job.update && !io.InputIsConsole()) {
      return UsageError(io, args, options.command,
                        "the job asks about the LED display and standard input is not a "
                        "console: a station without an operator needs a job with led = skip");
    }
    options.logPath = FromUtf8(job.log);
    mes = OpenMesLink(job, environment.programData, environment.mesPoster, &message);
    if (!job.mes.empty() && !mes) {
      io.Err("ERROR: " + message + "\n");
      PrintEndObject(io, args, options.command, kExitJobUnusable, message);
      return kExitJobUnusable;
    }
    if (mes) jobRun->SendEventsTo(mes->events.get());
  }
  // report --job: the job's records alone, from its store unless --log names one.
  const bool reportsJob = options.command == CliCommand::kReport && !options.jobPath.empty();
  if (reportsJob) {
    std::string message;
    if (LoadLineJob(options.jobPath, &job, &message) != 0) {
      io.Err("ERROR: " + message + "\n");
      PrintEndObject(io, args, options.command, kExitJobUnusable, message);
      return kExitJobUnusable;
    }
    if (options.logPath.empty()) options.logPath = FromUtf8(job.log);
  }
  std::unique_ptr<Ledger> ledger;
  // job new only writes the log's name into the job: it opens no store.
  if (!options.logPath.empty() && options.command != CliCommand::kJobNew) {
    // A report leaves the store as it is.
    ledger = options.command == CliCommand::kReport || options.command == CliCommand::kAudit
                 ? environment.ledgers.OpenForReading(options.logPath, waiter, &error)
                 : environment.ledgers.Open(options.logPath, waiter, &error);
    if (!ledger) {
      const std::string message =
          "the log cannot be used: " + StoreFailureText(ParseLogTarget(options.logPath), error);
      io.Err("ERROR: " + message + "\n");
      PrintEndObject(io, args, options.command, kExitLogFailed, message);
      return kExitLogFailed;
    }
  }

  ProgressText progress(io, ProgressStyleFor(options, io));
  const bool running = options.command == CliCommand::kRun;
  RecordKeeper keeper(io, progress, options, ledger.get(),
                      LogContext{"", environment.station, environment.toolVersion},
                      running ? std::optional<std::string>(JobTag(job)) : std::nullopt);
  RunContext context{io, progress, options,
                     [&](OperationRecord& record, bool sent) { keeper.Emit(record, sent); }};
  context.answeredBy = options.yes ? "--yes" : nullptr;
  context.ledger = ledger.get();
  if (running || reportsJob) context.job = &job;
  std::optional<MesOutbox> reportedOutbox;
  if (reportsJob && !job.mes.empty()) {
    reportedOutbox.emplace(MesOutboxFolder(job, environment.programData));
    context.mesOutbox = &*reportedOutbox;
  }
  context.run = jobRun.get();
  context.crypto = environment.crypto;
  context.trust = &trust;
  // A tray holds each index it takes, as --probe N does.
  context.holdDevice = [&](int index) {
    const int held = holds.Hold(index);
    if (held == kExitUsage) io.Err("ERROR: " + HeldElsewhereText(index) + "\n");
    return held;
  };
  int status = running ? PinJobImage(context, *jobRun) : kExitOk;
  const bool probeJob = options.command == CliCommand::kWriteSerial ||
                        options.command == CliCommand::kUpdate || running;
  const LogContext log{"", environment.station, environment.toolVersion};
  if (status == kExitOk) {
    status = options.probeAll ? RunTray(context, keeper, log)
             : probeJob       ? RunProbeJob(context, keeper)
                              : RunCommand(context);
  }
  if (keeper.failed() && status == kExitOk) status = kExitLogFailed;
  if (io.OutputFailed()) {
    io.Err("ERROR: standard output could not be written.\n");
    if (status == kExitOk) status = kExitLogFailed;
  }
  return status;
}
