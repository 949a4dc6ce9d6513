// The station loop over the probe's presence (cli/presence_wait.h). With a
// log, each write-serial (or a job's run) claims its number in the pool
// first; the probe is touched only once the claim is recorded.
#include "cli/station.h"

#include <optional>
#include <string>

#include "cli/job_host.h"
#include "cli/presence_wait.h"
#include "cli/runner_support.h"
#include "cli/station_loop.h"
#include "line/job_units.h"
#include "probe/operations.h"
#include "serial/count_up.h"
#include "serial/serial_text.h"

namespace {

// The write or update question, once answered for the run, is not said
// again for each probe.
constexpr char kSaidOnce[] = "";
constexpr char kNoProbeCame[] = "Given back: the run ended before a probe came for it.";

// Serial numbers are printable ASCII, so the log's UTF-8 is their text.
std::u16string FromAscii(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

bool IsSerialJob(const CliOptions& options) {
  return options.command == CliCommand::kWriteSerial;
}

// How a claim went: the probe may be touched, or the run ends here.
struct ClaimResult {
  bool claimed = true;
  bool exhausted = false;  // counting up found no free number
  int status = kExitOk;
};

class Job : public StationRound {
 public:
  Job(RunContext& context, RecordKeeper& keeper)
      : context_(context),
        options_(context.options),
        io_(context.io),
        keeper_(keeper),
        answeredBy_(context.answeredBy),
        number_(options_.argument) {}

  int Run() {
    if (options_.resume) {
      if (const std::optional<int> failed = Resume()) return *failed;
    }
    if (!options_.repeat || !InputPasses(options_, number_)) {
      const ClaimResult claim = ClaimUnitAndNumber();
      if (!claim.claimed) return claim.status;
      return RunOne();
    }
    return RunStation();
  }

 private:
  // The run writes serial numbers: write-serial, or a job with that step.
  bool Numbers() const {
    return IsSerialJob(options_) ||
           (options_.command == CliCommand::kRun && context_.job->writeSerial);
  }
  bool Pooled() const { return Numbers() && keeper_.ledger() != nullptr; }

  OperationRecord NewRecord(int result, const std::string& message) const {
    OperationRecord record;
    record.command = CommandName(options_.command);
    if (options_.probe >= 0) record.probe = options_.probe;
    record.serial = Utf8(number_);
    record.result = result;
    record.message = message;
    return record;
  }

  // The store failed: said, reported in JSON, and nothing else is touched.
  int LogFailure(const std::string& what, const std::string& error) {
    context_.progress.End();
    const std::string message =
        what + " in the log " + keeper_.ledger()->Where() + " (" + error + ").";
    io_.Err("ERROR: " + message + " No probe was touched.\n");
    keeper_.EmitUnrecorded(NewRecord(kExitLogFailed, message));
    return kExitLogFailed;
  }

  std::optional<int> Resume() {
    std::string error;
    if (!ResumeFromLog(io_, *keeper_.ledger(), &number_, &error)) {
      return LogFailure("The numbers could not be read", error);
    }
    return std::nullopt;
  }

  // Claims this round's number (counting up past held ones with
  // --count-up); a text the probe would refuse anyway claims nothing.
  ClaimResult ClaimNumber() {
    ClaimResult result;
    if (options_.command == CliCommand::kRun) return Pooled() ? ClaimFromRange() : result;
    if (!Pooled() || CheckSerialText(number_) != 0) return result;
    const std::string wanted = Utf8(number_);
    const Claim claim = keeper_.ClaimSerial(wanted, options_.countUp);
    result.claimed = claim.status == ClaimStatus::kClaimed;
    switch (claim.status) {
      case ClaimStatus::kClaimed:
        if (claim.serial != wanted) {
          io_.Err(wanted + " and the numbers up to " + claim.serial +
                  " are held by the log: taking " + claim.serial + ".\n");
        }
        number_ = FromAscii(claim.serial);
        break;
      case ClaimStatus::kTaken: {
        const double started = io_.Seconds();
        OperationRecord record =
            NewRecord(kExitAlreadyWritten, HeldNumberText(wanted, claim.heldAs));
        context_.progress.End();
        io_.Err("ERROR: " + record.message + " No probe was touched.\n");
        FinishRecord(context_, record, started);
        result.status = record.result;
        break;
      }
      case ClaimStatus::kExhausted: {
        const std::string message =
            "No number is free counting up from " + wanted + ": it cannot count up any further.";
        result.exhausted = true;
        if (options_.repeat) {
          io_.Err(message + " The run ends.\n");
          break;
        }
        const double started = io_.Seconds();
        OperationRecord record = NewRecord(kExitAlreadyWritten, message);
        context_.progress.End();
        io_.Err("ERROR: " + message + " No probe was touched.\n");
        FinishRecord(context_, record, started);
        result.status = record.result;
        break;
      }
      case ClaimStatus::kFailed:
        result.status = LogFailure("The number could not be claimed", claim.error);
        break;
    }
    return result;
  }

  // A capped job's unit, before its number: with every unit held the run
  // ends before any probe is waited for or touched.
  ClaimResult ClaimUnit() {
    ClaimResult result;
    if (options_.command != CliCommand::kRun || keeper_.ledger() == nullptr) return result;
    const LineJob& job = *context_.job;
    const RangeClaim claim = keeper_.line()->ClaimUnit(job);
    result.claimed = claim.status == ClaimStatus::kClaimed;
    if (result.claimed) return result;
    if (!claim.rangeUsedUp) {
      result.status = LogFailure("The unit could not be claimed", claim.error);
      return result;
    }
    const double started = io_.Seconds();
    OperationRecord record =
        NewRecord(kExitUnitsUsedUp, UnitsUsedUpText(job) + " No probe was touched.");
    record.command = CommandName(job.update ? CliCommand::kUpdate : CliCommand::kWriteSerial);
    record.serial.reset();
    context_.progress.End();
    io_.Err("ERROR: " + record.message + "\n");
    FinishRecord(context_, record, started);
    result.exhausted = true;
    result.status = kExitUnitsUsedUp;
    return result;
  }

  // The unit given back: no request of its probe's steps left.
  bool GiveUnitBack(int status) {
    std::string error;
    return keeper_.line() == nullptr || keeper_.line()->SettleUnit(status, &error);
  }

  ClaimResult ClaimUnitAndNumber() {
    const ClaimResult unit = ClaimUnit();
    if (!unit.claimed) return unit;
    ClaimResult claim = ClaimNumber();
    if (!claim.claimed && !GiveUnitBack(claim.status)) claim.status = kExitLogFailed;
    return claim;
  }

  // A job's number: the first free one of its range; with none left the
  // run ends before any probe is touched, saying how many there were.
  ClaimResult ClaimFromRange() {
    ClaimResult result;
    const LineJob& job = *context_.job;
    const RangeClaim claim = keeper_.line()->ClaimInRange(job);
    result.claimed = claim.status == ClaimStatus::kClaimed;
    if (result.claimed) {
      number_ = FromAscii(claim.serial);
      return result;
    }
    if (!claim.rangeUsedUp) {
      result.status = LogFailure("The number could not be claimed", claim.error);
      return result;
    }
    const std::string message = RangeUsedUpText(job) + " No probe was touched.";
    const double started = io_.Seconds();
    OperationRecord record = NewRecord(kExitRangeUsedUp, message);
    record.command = CommandName(CliCommand::kWriteSerial);
    record.serial.reset();
    context_.progress.End();
    io_.Err("ERROR: " + message + "\n");
    FinishRecord(context_, record, started);
    result.exhausted = true;
    result.status = kExitRangeUsedUp;
    return result;
  }

  // A job's steps on the attached probe, as the job's one run does them.
  int RunJobSteps() {
    ConsoleJobHost host(io_, context_.progress, keeper_, answeredBy_, options_.probe);
    ProbeSession session;
    const JobOutcome outcome = context_.run->RunProbe(session, host, *keeper_.line());
    if (outcome.agreed && options_.repeat) answeredBy_ = kSaidOnce;
    opened_ = outcome.opened;
    return outcome.status;
  }

  int RunStep(const CliOptions& step) {
    RunContext one{io_, context_.progress, step, context_.emit, answeredBy_};
    one.ledger = context_.ledger;
    one.job = context_.job;
    one.inStation = options_.repeat.has_value();
    const int status = RunCommand(one);
    if (one.agreed && options_.repeat) answeredBy_ = kSaidOnce;
    opened_ = one.opened;
    return status;
  }

  // The command on the attached probe, with the number of this round.
  int RunOne() {
    if (options_.command == CliCommand::kRun) return RunJobSteps();
    CliOptions each = options_;
    each.argument = number_;
    return RunStep(each);
  }

  Waited WaitForAttach(int successes) {
    const int wanted = *options_.repeat;
    const std::string which =
        std::to_string(successes + 1) + (wanted == 0 ? "" : " of " + std::to_string(wanted));
    const std::string where = options_.probe >= 0 ? " at " + DevicePathOf(options_.probe) : "";
    io_.Err("Waiting for probe " + which + " to be attached" + where + "...\n");
    bool toldSeveral = false;
    return WaitUntil(io_, [&] {
      const int presence = ProbePresence(options_.probe);
      if (presence > 1 && !toldSeveral) {
        io_.Err("Two or more Velkoro is connected: leave one attached.\n");
      }
      toldSeveral = presence > 1;
      return presence == 1;
    });
  }

  Waited WaitForRemoval(int opened) {
    if (opened != kAnyProbeIndex) {
      io_.Err("Remove the probe at " + DevicePathOf(opened) + "...\n");
      return WaitUntil(io_, [&] { return !ProbeAttached(opened); });
    }
    io_.Err("Remove the probe...\n");
    return WaitUntil(io_, [] { return ProbePresence(kAnyProbeIndex) == 0; });
  }

  void PrintOutcome(int opened, const std::u16string& number, int status) {
    if (options_.json) return;
    std::string line = opened == kAnyProbeIndex ? std::string("-") : std::to_string(opened);
    if (Numbers()) {
      line += ' ';
      line += Utf8(number);
    }
    line += ' ';
    line += std::to_string(status);
    line += '\n';
    io_.Out(line);
  }

  // The number a next run starts from: never one the log holds, nor the
  // last one written when it could not count up.
  std::optional<std::string> NextNumber() {
    if (!Pooled()) return countedOut_ ? std::nullopt : std::optional(Utf8(number_));
    // A log that just failed (held for its whole wait) is not waited for again.
    if (keeper_.failed()) return CountUpSerialNo(Utf8(number_));
    std::optional<std::string> next;
    std::string error;
    const bool found = options_.command == CliCommand::kRun
                           ? NextFreeInRange(*keeper_.ledger(), *context_.job, &next, &error)
                           : NextFreeFrom(*keeper_.ledger(), Utf8(number_), &next, &error);
    if (!found) return Utf8(number_);
    return next;
  }

  // The station's round: one probe, its number claimed before the wait.
  bool Prepare(int* status) override {
    // Claimed before the wait, so a number the log holds is refused
    // before any probe's path is opened.
    const ClaimResult claim = ClaimUnitAndNumber();
    if (!claim.claimed) *status = claim.status;
    return claim.claimed;
  }

  Waited WaitForProbes(int successes, int /*wanted*/) override { return WaitForAttach(successes); }

  void GiveBack(Waited why, int* status) override {
    // Its line says how the run ended: Ctrl+C even where that ends it well.
    const int ended = why == Waited::kInterrupted ? kExitInterrupted : *status;
    if (Pooled() &&
        !keeper_.ReleaseClaim(CommandName(CliCommand::kWriteSerial), kNoProbeCame, ended)) {
      *status = kExitLogFailed;
    }
    if (!GiveUnitBack(ended)) *status = kExitLogFailed;
  }

  RoundResult Run(int /*left*/) override {
    RoundResult round;
    const std::u16string number = number_;
    const int result = RunOne();
    lastOpened_ = opened_;
    PrintOutcome(lastOpened_, number, result);
    if (keeper_.failed()) {
      // The probe counts: its outcome is the log's failure.
      round.failures = 1;
      round.stop = true;
      round.status = kExitLogFailed;
      return round;
    }
    // No later probe can go differently: stop here with that status.
    if (result == kExitDeclined || result == kExitInterrupted ||
        (!IsSerialJob(options_) && IsFileFailure(result))) {
      round.stop = true;
      round.status = result;
      return round;
    }
    if (result != kExitOk) {
      round.failures = 1;
      return round;
    }
    round.successes = 1;
    if (IsSerialJob(options_) && options_.countUp) {
      number_ = CountUpSerialNo(number);
      if (number_ == number) {
        countedOut_ = true;
        io_.Err(Utf8(number) + " cannot count up any further: the run ends.\n");
        round.stop = true;
      }
    }
    return round;
  }

  Waited WaitForRemoval() override { return WaitForRemoval(lastOpened_); }

  void Finish() override {
    if ((IsSerialJob(options_) && options_.countUp) ||
        (options_.command == CliCommand::kRun && Numbers())) {
      const std::optional<std::string> following = NextNumber();
      const std::string next = options_.command == CliCommand::kRun && !following
                                   ? "next: none: " + RangeUsedUpText(*context_.job) + "\n"
                                   : NextLine(Utf8(number_), following);
      if (options_.json) {
        io_.Err(next);
      } else {
        io_.Out(next);
      }
    }
  }

  const char* Between() const override { return "probes"; }

  int RunStation() { return RunStationLoop(io_, *options_.repeat, *this); }

  RunContext& context_;
  const CliOptions& options_;
  ConsoleIo& io_;
  RecordKeeper& keeper_;
  const char* answeredBy_;
  std::u16string number_;
  // The device index the last probe's command opened.
  int opened_ = kAnyProbeIndex;
  // The index of the probe the last round ran on, waited off again.
  int lastOpened_ = kAnyProbeIndex;
  bool countedOut_ = false;
};

}  // namespace

int RunProbeJob(RunContext& context, RecordKeeper& keeper) {
  return Job(context, keeper).Run();
}
