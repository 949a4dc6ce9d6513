// --probe all, once or as the tray station. A tray is the set of device
// paths that open; the station takes it once no new probe has come for a
// second (a tray is filled probe by probe), and waits until every probe of
// it is gone before it looks for the next.
#include "cli/tray.h"

#include <algorithm>

#include "cli/presence_wait.h"
#include "cli/runner_support.h"
#include "cli/station_loop.h"
#include "cli/tray_pass.h"
#include "firmware/firmware_image.h"
#include "firmware/image_report.h"
#include "ledger/serial_pool.h"
#include "line/line_recorder.h"
#include "messages/message_catalogue.h"
#include "probe/operations.h"
#include "serial/count_up.h"
#include "serial/serial_text.h"

namespace {

// A tray is complete once no new probe has appeared for this long.
constexpr unsigned kTraySettledMs = 1000;

std::vector<int> AttachedProbes() {
  std::vector<int> indices;
  for (int index = 0; index <= kHighestDeviceIndex; ++index) {
    if (ProbeAttached(index)) indices.push_back(index);
  }
  return indices;
}

std::string IndexList(const std::vector<int>& indices) {
  std::string text;
  for (int index : indices) {
    if (!text.empty()) text += ' ';
    text += std::to_string(index);
  }
  return text;
}

std::string Plural(int count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

class TrayRun : public StationRound {
 public:
  TrayRun(RunContext& context, RecordKeeper& keeper, const LogContext& log)
      : context_(context),
        options_(context.options),
        io_(context.io),
        keeper_(keeper),
        pass_(context, keeper, log),
        number_(options_.argument) {}

  int Run() {
    if (options_.command == CliCommand::kRun && context_.job->update &&
        context_.job->led == JobLed::kAsk) {
      return Refuse(
          "the job asks about the LED display: a tray needs a job with led = skip, since no one "
          "can judge the LEDs of a whole tray at once");
    }
    if (options_.resume && !Resume()) return kExitLogFailed;
    // What no probe can change is reported as a single run reports it.
    if (!::InputPasses(options_, number_)) {
      CliOptions once = options_;
      once.probeAll = false;
      RunContext single{io_, context_.progress, once, context_.emit, context_.answeredBy};
      single.ledger = context_.ledger;
      return RunCommand(single);
    }
    if (options_.repeat) return RunStation();
    const std::vector<int> indices = AttachedProbes();
    if (indices.empty()) return NoProbe();
    const TrayPass pass = pass_.Run(indices, &number_);
    PrintNext();
    return pass.status;
  }

 private:
  bool Serial() const {
    return options_.command == CliCommand::kWriteSerial ||
           (options_.command == CliCommand::kRun && context_.job->writeSerial);
  }

  bool Resume() {
    std::string error;
    if (ResumeFromLog(io_, *context_.ledger, &number_, &error)) return true;
    const std::string message = "The numbers could not be read in the log " +
                                context_.ledger->Where() + " (" + error + ").";
    io_.Err("ERROR: " + message + " No probe was touched.\n");
    keeper_.EmitUnrecorded(kExitLogFailed, message);
    return false;
  }

  // A usage error found once the job is read: nothing is touched.
  int Refuse(const std::string& reason) {
    io_.Err("ostrelin-cli: " + reason + "\nTry 'ostrelin-cli --help'.\n");
    keeper_.EmitUnrecorded(kExitUsage, reason);
    return kExitUsage;
  }

  int NoProbe() {
    const std::u16string text = ChooseMessage(kResultNoProbe, CodeKind::kResult).text;
    OperationRecord record;
    record.command = CommandName(options_.command);
    record.result = kResultNoProbe;
    record.message = OneLine(text);
    context_.progress.End();
    io_.Err("ERROR: " + ConsoleText(text) + "\n");
    FinishRecord(context_, record, io_.Seconds());
    return record.result;
  }

  // The number a next run starts from: never one the log holds.
  void PrintNext() {
    if (!Serial()) return;
    std::string next = Utf8(number_);
    std::vector<SerialEntry> entries;
    std::string error;
    if (options_.command == CliCommand::kRun) {
      std::optional<std::string> free;
      next = NextFreeInRange(*pass_.ledger(), *context_.job, &free, &error)
                 ? free.value_or("none (every number of the job's range is held)")
                 : "?";
    } else if (pass_.ledger() != nullptr && pass_.ledger()->Entries(&entries, &error)) {
      SerialPool pool;
      for (const SerialEntry& entry : entries) pool.Apply(entry);
      next = pool.NextFree(next).value_or(next);
    }
    if (options_.json) {
      io_.Err("next: " + next + "\n");
    } else {
      io_.Out("next: " + next + "\n");
    }
  }

  // At least one probe, and no new one for kTraySettledMs.
  Waited WaitForTray(int successes, std::vector<int>* tray) {
    const int wanted = *options_.repeat;
    io_.Err("Waiting for a tray of probes (" + std::to_string(successes) +
            (wanted == 0 ? "" : " of " + std::to_string(wanted)) + " succeeded so far)...\n");
    std::vector<int> seen;
    unsigned settled = 0;
    return WaitUntil(io_, [&] {
      const std::vector<int> now = AttachedProbes();
      const bool grew = std::any_of(now.begin(), now.end(), [&](int index) {
        return std::find(seen.begin(), seen.end(), index) == seen.end();
      });
      settled = grew ? 0 : settled + kPresencePollMs;
      seen = now;
      *tray = now;
      return !now.empty() && settled >= kTraySettledMs;
    });
  }

  Waited WaitForRemoval(const std::vector<int>& tray) {
    io_.Err("Remove the probes of the tray (" + IndexList(tray) + ")...\n");
    return WaitUntil(io_, [&] {
      return std::none_of(tray.begin(), tray.end(), [](int index) { return ProbeAttached(index); });
    });
  }

  // The tray station's round: a tray, taken once no new probe has come for
  // a second.
  bool Prepare(int* /*status*/) override { return true; }
  Waited WaitForProbes(int successes, int /*wanted*/) override {
    return WaitForTray(successes, &tray_);
  }
  void GiveBack(Waited /*why*/, int* /*status*/) override {}

  RoundResult Run(int left) override {
    // N counts successes: a tray larger than what is left is taken from
    // its lowest index, the rest left alone.
    const size_t wanted = left == 0 ? tray_.size() : static_cast<size_t>(left);
    std::vector<int> taken(tray_.begin(), tray_.begin() + std::min(wanted, tray_.size()));
    if (taken.size() < tray_.size()) {
      io_.Err("Only " + Plural(static_cast<int>(taken.size()), "probe") +
              " of the tray are needed: " + IndexList(taken) + ".\n");
    }
    const TrayPass pass = pass_.Run(taken, &number_);
    RoundResult round;
    for (const TrayOutcome& outcome : pass.outcomes) {
      (outcome.result == kExitOk ? round.successes : round.failures) += 1;
    }
    if (pass.stop || pass.exhausted) {
      // Numbers run out as at the station: a job's range used up is 27,
      // a number that cannot count up any further ends the run as done.
      round.stop = true;
      round.status = pass.stop                              ? pass.status
                     : options_.command == CliCommand::kRun ? pass.usedUp
                                                            : kExitOk;
    }
    return round;
  }

  Waited WaitForRemoval() override { return WaitForRemoval(tray_); }
  void Finish() override {
    if (options_.countUp) PrintNext();
  }
  const char* Between() const override { return "trays"; }

  int RunStation() { return RunStationLoop(io_, *options_.repeat, *this); }

  RunContext& context_;
  const CliOptions& options_;
  ConsoleIo& io_;
  RecordKeeper& keeper_;
  TrayPassRunner pass_;
  std::u16string number_;
  std::vector<int> tray_;
};

}  // namespace

int RunTray(RunContext& context, RecordKeeper& keeper, const LogContext& log) {
  return TrayRun(context, keeper, log).Run();
}
