// Each probe of a tray runs the single command's own runner on a thread of
// its own with a probe session of its own (the link, the image and the
// update's steps), so the threads share nothing but the console, which takes
// whole writes, and the store, which takes one call at a time. Numbers are
// claimed in index order before any thread starts, so the lowest index gets
// the first number whatever order the writes finish in.
#include "cli/tray_pass.h"

#include <system_error>
#include <thread>

#include "cli/console_window.h"
#include "cli/job_host.h"
#include "cli/runner_support.h"
#include "cli/tray_console.h"
#include "firmware/probe_session.h"
#include "line/job_units.h"
#include "line/line_recorder.h"
#include "messages/message_catalogue.h"
#include "probe/operations.h"
#include "serial/count_up.h"

namespace {

// The tray's question is said once; the probes' own go on without a word.
constexpr char kSaidOnce[] = "";
constexpr char kNoThreadText[] = "The probe's run could not be started (no thread).";
constexpr char kNoRunText[] = "Given back: the probe's run never started.";

// A probe's unit given back: its run never started.
void GiveUnitBack(RecordKeeper& keeper, int status) {
  std::string error;
  if (keeper.line() != nullptr) keeper.line()->SettleUnit(status, &error);
}

std::u16string FromAscii(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

bool ShowsSerial(CliCommand command, const LineJob* job) {
  return command == CliCommand::kWriteSerial || command == CliCommand::kReadSerial ||
         command == CliCommand::kList || (command == CliCommand::kRun && job->writeSerial);
}

}  // namespace

struct TrayPassRunner::ProbeRun {
  int index = 0;
  CliOptions options;
  std::u16string number;  // the number its write-serial writes
  std::unique_ptr<ProbeConsole> console;
  std::unique_ptr<ProgressText> progress;
  std::unique_ptr<RecordKeeper> keeper;
  TrayOutcome outcome;
  // The probe's own link, image and update, used on its thread alone.
  ProbeSession session;
  // Decided before any thread: no number was free for this probe.
  bool settled = false;
  std::thread thread;
};

TrayPassRunner::TrayPassRunner(RunContext& context, RecordKeeper& keeper, const LogContext& log)
    : context_(context), keeper_(keeper), log_(log), answeredBy_(context.answeredBy) {
  if (context.ledger != nullptr) locked_.emplace(*context.ledger);
}

bool TrayPassRunner::Ask(size_t count, const std::u16string& number, TrayPass* pass) {
  const CliCommand command = context_.options.command;
  if (command != CliCommand::kWriteSerial && command != CliCommand::kUpdate &&
      command != CliCommand::kRun) {
    return true;
  }
  ConsoleWindow window(context_.io, context_.progress, answeredBy_, false);
  const std::string probes = std::to_string(count) + (count == 1 ? " probe" : " probes");
  const std::string question =
      command == CliCommand::kUpdate ? "May I update Firmware of Velkoro on " + probes + "?"
      : command == CliCommand::kRun
          ? "May I run the job " + context_.job->name + " on " + probes + "?"
          : "May I write Serial No. of Velkoro on " + probes + ", counting up from " +
                Utf8(number) + "?";
  if (window.Ask(question, true).value_or(false)) {
    answeredBy_ = kSaidOnce;
    return true;
  }
  context_.io.Err(std::string(kDeclinedText) + "\n");
  OperationRecord record;
  record.command = CommandName(command);
  record.result = kExitDeclined;
  record.message = kDeclinedText;
  FinishRecord(context_, record, context_.io.Seconds());
  pass->status = kExitDeclined;
  pass->stop = true;
  return false;
}

// One probe's number: counting up from number, or the first free one of the
// job's range.
TrayPassRunner::Numbered TrayPassRunner::ClaimOne(ProbeRun& run, const std::u16string& number) {
  Numbered numbered;
  if (context_.job != nullptr) {
    const RangeClaim claim = run.keeper->line()->ClaimInRange(*context_.job);
    numbered.status = claim.status;
    numbered.serial = claim.serial;
    numbered.error = claim.error;
    if (claim.rangeUsedUp) {
      numbered.usedUp = RangeUsedUpText(*context_.job);
      numbered.usedUpStatus = kExitRangeUsedUp;
    }
    return numbered;
  }
  const Claim claim = run.keeper->ClaimSerial(Utf8(number), true);
  numbered.status = claim.status;
  numbered.serial = claim.serial;
  numbered.error = claim.error;
  if (claim.status == ClaimStatus::kTaken || claim.status == ClaimStatus::kExhausted) {
    numbered.usedUp =
        "No number is free counting up from " + Utf8(number) + ": it cannot count up any further.";
  }
  return numbered;
}

// In index order on this thread, each durable before its probe's thread can
// send anything. A store that fails gives back what this tray claimed.
bool TrayPassRunner::ClaimNumbers(std::vector<std::unique_ptr<ProbeRun>>& runs,
                                  std::u16string* number, TrayPass* pass) {
  const std::string command = CommandName(CliCommand::kWriteSerial);
  std::optional<Numbered> usedUp;
  for (size_t i = 0; i < runs.size(); ++i) {
    ProbeRun& run = *runs[i];
    // Its unit ran out: it gets no number.
    if (run.settled) continue;
    if (!usedUp && locked_) {
      const Numbered numbered = ClaimOne(run, *number);
      if (numbered.status == ClaimStatus::kFailed && numbered.usedUp.empty()) {
        for (size_t j = 0; j < i; ++j) {
          runs[j]->keeper->ReleaseClaim(command, kNoRunText, kExitLogFailed);
        }
        for (auto& each : runs) GiveUnitBack(*each->keeper, kExitLogFailed);
        const std::string text = "The number could not be claimed in the log " + locked_->Where() +
                                 " (" + numbered.error + ").";
        context_.io.Err("ERROR: " + text + " No probe was touched.\n");
        keeper_.EmitUnrecorded(kExitLogFailed, text);
        pass->status = kExitLogFailed;
        pass->stop = true;
        return false;
      }
      if (numbered.status == ClaimStatus::kClaimed) {
        *number = FromAscii(numbered.serial);
      } else {
        usedUp = numbered;
      }
    }
    if (usedUp) {
      GiveUnitBack(*run.keeper, usedUp->usedUpStatus);
      run.settled = true;
      run.outcome.result = usedUp->usedUpStatus;
      run.outcome.message = usedUp->usedUp;
      OperationRecord record;
      record.command = command;
      record.probe = run.index;
      record.result = run.outcome.result;
      record.message = run.outcome.message;
      run.keeper->Emit(record);
      continue;
    }
    run.number = *number;
    run.outcome.serial = Utf8(*number);
    const std::u16string next = CountUpSerialNo(*number);
    // All nines: the probes after this one find no number.
    if (next == *number && !locked_) {
      usedUp = Numbered{};
      usedUp->usedUp = "No number is free counting up from " + Utf8(*number) +
                       ": it cannot count up any further.";
    }
    *number = next;
  }
  if (usedUp) {
    pass->exhausted = true;
    pass->usedUp = usedUp->usedUpStatus;
  }
  return true;
}

// A capped job's units, in index order on this thread before any number:
// the probes past the last unit are settled with 28 and never touched.
bool TrayPassRunner::ClaimUnits(std::vector<std::unique_ptr<ProbeRun>>& runs, TrayPass* pass) {
  const LineJob& job = *context_.job;
  bool usedUp = false;
  for (size_t i = 0; i < runs.size(); ++i) {
    ProbeRun& run = *runs[i];
    if (!usedUp) {
      const RangeClaim claim = run.keeper->line()->ClaimUnit(job);
      if (claim.status == ClaimStatus::kClaimed) continue;
      if (!claim.rangeUsedUp) {
        for (size_t j = 0; j < i; ++j) GiveUnitBack(*runs[j]->keeper, kExitLogFailed);
        const std::string text = "The unit could not be claimed in the log " + locked_->Where() +
                                 " (" + claim.error + ").";
        context_.io.Err("ERROR: " + text + " No probe was touched.\n");
        keeper_.EmitUnrecorded(kExitLogFailed, text);
        pass->status = kExitLogFailed;
        pass->stop = true;
        return false;
      }
      usedUp = true;
    }
    run.settled = true;
    run.outcome.result = kExitUnitsUsedUp;
    run.outcome.message = UnitsUsedUpText(job) + " No probe was touched.";
    OperationRecord record;
    record.command = CommandName(job.update ? CliCommand::kUpdate : CliCommand::kWriteSerial);
    record.probe = run.index;
    record.result = run.outcome.result;
    record.message = run.outcome.message;
    run.keeper->Emit(record);
  }
  if (usedUp) {
    pass->exhausted = true;
    pass->usedUp = kExitUnitsUsedUp;
  }
  return true;
}

int TrayPassRunner::RunStep(ProbeRun& run, CliCommand command) {
  auto emit = [&run](OperationRecord& record, bool sent) {
    run.keeper->Emit(record, sent);
    run.outcome.message = record.message;
    if (record.serial) {
      run.outcome.serial = record.serial;
    } else if (record.serialState) {
      // list's marks: too old for serial numbers, or not read.
      run.outcome.serial = std::string(*record.serialState == "firmware too old" ? "-" : "?");
    }
  };
  CliOptions step = run.options;
  step.command = command;
  if (command == CliCommand::kWriteSerial) step.argument = run.number;
  RunContext one{*run.console, *run.progress, step, emit, answeredBy_};
  one.ledger = ledger();
  one.job = context_.job;
  one.inStation = true;
  one.session = &run.session;
  return RunCommand(one);
}

void TrayPassRunner::RunProbe(ProbeRun& run) {
  const CliCommand command = context_.options.command;
  int status = kExitOk;
  if (command != CliCommand::kRun) {
    status = RunStep(run, command);
  } else {
    ConsoleJobHost host(*run.console, *run.progress, *run.keeper, answeredBy_, run.index);
    const JobOutcome outcome = context_.run->RunProbe(run.session, host, *run.keeper->line());
    status = outcome.status;
    run.outcome.message = outcome.message;
    if (outcome.serial) run.outcome.serial = outcome.serial;
  }
  if (run.keeper->failed() && status == kExitOk) status = kExitLogFailed;
  // Whatever path the runner took, the probe is closed before the thread ends.
  CloseProbeIfOpen(run.session.link);
  run.outcome.result = status;
}

TrayPass TrayPassRunner::Run(const std::vector<int>& indices, std::u16string* number) {
  TrayPass pass;
  const CliOptions& options = context_.options;
  // Each probe's index is held before its question, so no other program
  // works on it meanwhile.
  for (int index : indices) {
    const int held = context_.holdDevice ? context_.holdDevice(index) : kExitOk;
    if (held == kExitOk) continue;
    keeper_.EmitUnrecorded(held, "Another ostrelin-cli works on the probe at " +
                                     DevicePathOf(index) + ": no probe of the tray was touched.");
    pass.status = held;
    pass.stop = true;
    return pass;
  }
  if (!Ask(indices.size(), *number, &pass)) return pass;
  context_.progress.End();
  const bool redraw = !options.quiet && context_.io.ErrorRedraws();
  TrayDisplay display(context_.io, redraw, indices);
  const ProgressText::Style style = options.quiet ? ProgressText::Style::kNone
                                    : redraw      ? ProgressText::Style::kBar
                                                  : ProgressText::Style::kLines;
  std::vector<std::unique_ptr<ProbeRun>> runs;
  for (size_t slot = 0; slot < indices.size(); ++slot) {
    auto run = std::make_unique<ProbeRun>();
    run->index = indices[slot];
    run->outcome.index = run->index;
    run->options = options;
    run->options.probe = run->index;
    run->options.probeAll = false;
    run->console = std::make_unique<ProbeConsole>(context_.io, display, slot);
    run->progress = std::make_unique<ProgressText>(*run->console, style);
    run->keeper = std::make_unique<RecordKeeper>(
        *run->console, *run->progress, run->options, ledger(), log_,
        context_.job != nullptr ? std::optional<std::string>(JobTag(*context_.job)) : std::nullopt);
    runs.push_back(std::move(run));
  }
  const bool numbered = options.command == CliCommand::kWriteSerial ||
                        (options.command == CliCommand::kRun && context_.job->writeSerial);
  const bool capped = options.command == CliCommand::kRun && context_.job->units && locked_;
  if (capped && !ClaimUnits(runs, &pass)) return pass;
  if (numbered && !ClaimNumbers(runs, number, &pass)) {
    return pass;
  }
  for (auto& run : runs) {
    if (run->settled) continue;
    try {
      run->thread = std::thread([this, &run] { RunProbe(*run); });
    } catch (const std::system_error&) {
      run->keeper->ReleaseClaim(CommandName(CliCommand::kWriteSerial), kNoRunText, kResultNoProbe);
      GiveUnitBack(*run->keeper, kResultNoProbe);
      run->outcome.result = kResultNoProbe;
      run->outcome.message = kNoThreadText;
    }
  }
  for (auto& run : runs) {
    if (run->thread.joinable()) run->thread.join();
  }
  display.Finish();
  Report(runs, &pass);
  return pass;
}

void TrayPassRunner::Report(const std::vector<std::unique_ptr<ProbeRun>>& runs, TrayPass* pass) {
  const CliOptions& options = context_.options;
  ConsoleIo& io = context_.io;
  for (const auto& run : runs) {
    pass->outcomes.push_back(run->outcome);
    if (run->keeper->failed() || run->outcome.result == kExitInterrupted) pass->stop = true;
    if (options.json) io.Out(run->console->out());
  }
  const bool withSerial = ShowsSerial(options.command, context_.job);
  if (!options.json) io.Out(TrayLines(pass->outcomes, withSerial));
  const std::string summary = TraySummary(pass->outcomes, withSerial);
  if (options.json) {
    io.Err(summary);
  } else {
    io.Out(summary);
  }
  pass->status = TrayExitStatus(pass->outcomes);
  if (io.Interrupted()) pass->stop = true;
}
