// The station loop over the probe's presence (its path opens or not), polled
// at a fixed period on the console's wait, so the native tests drive it by
// attaching and detaching in-process probes between waits.
#include "cli/station.h"

#include <optional>
#include <string>

#include "cli/runner_support.h"
#include "cli/written_serials.h"
#include "firmware/firmware_image.h"
#include "firmware/image_report.h"
#include "probe/operations.h"
#include "serial/count_up.h"

namespace {

constexpr unsigned kPresencePollMs = 250;
// An unattended station ends after this long without a probe coming or going.
constexpr unsigned kLongestIdleMs = 24u * 60 * 60 * 1000;
constexpr size_t kLongestSerial = kSerialBufferUnits - 1;
constexpr char kWholeRun[] = "answered for the whole run";

enum class Waited { kReady, kInterrupted, kIdle };

template <typename Ready>
Waited WaitUntil(ConsoleIo& io, Ready ready) {
  for (unsigned waited = 0;; waited += kPresencePollMs) {
    // Ctrl+C first: a probe attached at the same moment is not started.
    if (io.Interrupted()) return Waited::kInterrupted;
    if (ready()) return Waited::kReady;
    if (waited >= kLongestIdleMs) return Waited::kIdle;
    io.Wait(kPresencePollMs);
  }
}

std::string DevicePath(int index) {
  return kDevicePathPrefix + std::to_string(index);
}

// Serial numbers are printable ASCII, so the log's UTF-8 is their text.
std::u16string FromAscii(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

bool IsSerialJob(const CliOptions& options) {
  return options.command == CliCommand::kWriteSerial;
}

// What no probe can change: a run whose input fails runs once, reporting as
// a single run does, and waits for no probe.
bool InputPasses(const CliOptions& options, const std::u16string& number) {
  if (IsSerialJob(options)) {
    if (number.size() > kLongestSerial) return false;
    for (char16_t c : number) {
      if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
  }
  if (CheckFirmwareFile(options.argument) != kResultOk) return false;
  return !options.expectCrc32 || ReportFirmwareImage().crc32 == *options.expectCrc32;
}

class Job {
 public:
  Job(RunContext& context, LogSink* log, const bool& logFailed)
      : context_(context),
        options_(context.options),
        io_(context.io),
        log_(log),
        logFailed_(logFailed),
        answeredBy_(context.answeredBy),
        number_(options_.argument) {}

  int Run() {
    if (options_.resume && !Resume()) return kExitLogFailed;
    if (!options_.repeat || !InputPasses(options_, number_)) {
      if (const std::optional<int> refused = RefuseIfWritten()) return *refused;
      return RunOne();
    }
    return RunStation();
  }

 private:
  // The log as it stands now; nullopt (reported) when it cannot be read.
  std::optional<WrittenSerials> ReadLog() {
    std::string text, error;
    if (!log_->ReadAll(&text, &error)) {
      context_.progress.End();
      io_.Err("ERROR: the log file cannot be read: " + Utf8(options_.logPath) + " (" + error +
              ")\n");
      return std::nullopt;
    }
    return WrittenSerials(text);
  }

  bool Resume() {
    const std::optional<WrittenSerials> written = ReadLog();
    if (!written) return false;
    const std::optional<std::string> last = written->Last();
    if (!last) {
      io_.Err("The log records no number written: starting from " + Utf8(number_) + ".\n");
      return true;
    }
    number_ = CountUpSerialNo(FromAscii(*last));
    io_.Err("The last number the log records as written is " + *last + ": starting from " +
            Utf8(number_) + ".\n");
    return true;
  }

  // Re-read before every probe: another station may share the log.
  std::optional<int> RefuseIfWritten() {
    if (!IsSerialJob(options_) || log_ == nullptr) return std::nullopt;
    const std::optional<WrittenSerials> written = ReadLog();
    if (!written) return kExitLogFailed;
    const std::string number = Utf8(number_);
    if (!written->Contains(number)) return std::nullopt;
    const double started = io_.Seconds();
    OperationRecord record;
    record.command = CommandName(options_.command);
    if (options_.probe >= 0) record.probe = options_.probe;
    record.serial = number;
    record.result = kExitAlreadyWritten;
    record.message = number + " is already written: the log records it with result 0.";
    context_.progress.End();
    io_.Err("ERROR: " + record.message + " No probe was touched.\n");
    FinishRecord(context_, record, started);
    return kExitAlreadyWritten;
  }

  // The command on the attached probe, with the number of this round.
  int RunOne() {
    CliOptions each = options_;
    each.argument = number_;
    RunContext one{io_, context_.progress, each, context_.emit, answeredBy_};
    one.inStation = options_.repeat.has_value();
    const int status = IsSerialJob(options_) ? RunWriteSerial(one) : RunUpdate(one);
    if (one.agreed && answeredBy_ == nullptr) answeredBy_ = kWholeRun;
    opened_ = one.opened;
    return status;
  }

  Waited WaitForAttach(int round) {
    const int wanted = *options_.repeat;
    const std::string which =
        std::to_string(round) + (wanted == 0 ? "" : " of " + std::to_string(wanted));
    const std::string where = options_.probe >= 0 ? " at " + DevicePath(options_.probe) : "";
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
      io_.Err("Remove the probe at " + DevicePath(opened) + "...\n");
      return WaitUntil(io_, [&] { return !ProbeAttached(opened); });
    }
    io_.Err("Remove the probe...\n");
    return WaitUntil(io_, [] { return ProbePresence(kAnyProbeIndex) == 0; });
  }

  // The run's status when a wait between probes ended it.
  int StoppedBetween(Waited waited) {
    if (waited == Waited::kIdle) {
      io_.Err("No probe came or went for " + std::to_string(kLongestIdleMs / 3600000) +
              " hours: the run ends.\n");
      return kResultNoProbe;
    }
    io_.Err("Stopped by Ctrl+C between probes.\n");
    // Until stopped is how a run without a count ends.
    return *options_.repeat == 0 ? kExitOk : kExitInterrupted;
  }

  void PrintOutcome(int opened, const std::u16string& number, int status) {
    if (options_.json) return;
    std::string line = opened == kAnyProbeIndex ? std::string("-") : std::to_string(opened);
    if (IsSerialJob(options_)) {
      line += ' ';
      line += Utf8(number);
    }
    line += ' ';
    line += std::to_string(status);
    line += '\n';
    io_.Out(line);
  }

  int RunStation() {
    const int wanted = *options_.repeat;
    int successes = 0, failures = 0, status = kExitOk;
    for (int round = 1; wanted == 0 || successes < wanted; ++round) {
      if (const std::optional<int> refused = RefuseIfWritten()) {
        status = *refused;
        break;
      }
      const Waited attached = WaitForAttach(round);
      if (attached != Waited::kReady) {
        status = StoppedBetween(attached);
        break;
      }
      const std::u16string number = number_;
      const int result = RunOne();
      const int opened = opened_;
      PrintOutcome(opened, number, result);
      if (logFailed_) {
        status = kExitLogFailed;
        break;
      }
      // No later probe can go differently: stop here with that status.
      if (result == kExitDeclined || result == kExitInterrupted ||
          (!IsSerialJob(options_) && IsFileFailure(result))) {
        status = result;
        break;
      }
      if (result != kExitOk) {
        ++failures;
      } else {
        ++successes;
        if (IsSerialJob(options_) && options_.countUp) {
          number_ = CountUpSerialNo(number);
          if (number_ == number) {
            io_.Err(Utf8(number) + " cannot count up any further: the run ends.\n");
            break;
          }
        }
      }
      if (wanted != 0 && successes >= wanted) break;
      const Waited removed = WaitForRemoval(opened);
      if (removed != Waited::kReady) {
        status = StoppedBetween(removed);
        break;
      }
    }
    io_.Err("Station: " + std::to_string(successes + failures) + " probes, " +
            std::to_string(successes) + " succeeded, " + std::to_string(failures) + " failed.\n");
    if (IsSerialJob(options_) && options_.countUp) {
      const std::string next = "next: " + Utf8(number_) + "\n";
      if (options_.json) {
        io_.Err(next);
      } else {
        io_.Out(next);
      }
    }
    return status;
  }

  RunContext& context_;
  const CliOptions& options_;
  ConsoleIo& io_;
  LogSink* log_;
  const bool& logFailed_;
  const char* answeredBy_;
  std::u16string number_;
  // The device index the last probe's command opened.
  int opened_ = kAnyProbeIndex;
};

}  // namespace

int RunProbeJob(RunContext& context, LogSink* log, const bool& logFailed) {
  return Job(context, log, logFailed).Run();
}
