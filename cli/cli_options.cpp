// The command line of ostrelin-cli. Every mistake is a usage error found
// before the log is opened or a probe is touched.
#include "cli/cli_options.h"

#include <algorithm>
#include <charconv>

#include "cli/command_table.h"
#include "cli/job_names.h"
#include "cli/mes_runners.h"
#include "cli/report_options.h"
#include "common/probe_protocol.h"
#include "ledger/log_target.h"
#include "ledger/operation_record.h"
#include "probe/operations.h"
#include "serial/serial_text.h"

namespace {

// A bound on --repeat's count that no production line reaches.
constexpr int kMostRepeats = 1000000;
constexpr int kShortestResetWaitSeconds = 1;
constexpr int kLongestResetWaitSeconds = 3600;
constexpr size_t kCrc32Digits = 8;

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

bool ParseProbeIndex(const std::string& text, int* index) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0 ||
      value > kHighestDeviceIndex) {
    return false;
  }
  *index = value;
  return true;
}

bool ParseRepeat(const std::string& text, int* count) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < 0 ||
      value > kMostRepeats) {
    return false;
  }
  *count = value;
  return true;
}

bool ParseCrc32(const std::string& text, uint32_t* crc) {
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (text.size() != kCrc32Digits || error != std::errc() || end != text.data() + text.size())
    return false;
  *crc = value;
  return true;
}

bool ParseSeconds(const std::string& text, int* seconds) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
      value < kShortestResetWaitSeconds || value > kLongestResetWaitSeconds) {
    return false;
  }
  *seconds = value;
  return true;
}

// As the probe stores them (the window's rule): not empty here, since a
// probe is named by it.
bool IsSerialText(const std::u16string& text) {
  return !text.empty() && CheckSerialText(text) == 0;
}

bool Fail(std::string* error, std::string reason) {
  *error = std::move(reason);
  return false;
}

// The options that name the probe or pin what an update must bring about.
bool CheckIdentityOptionsFit(const CliOptions& options, bool probeGiven, bool timeoutGiven,
                             std::string* error) {
  const CliCommand command = options.command;
  if (options.probeSerial) {
    if (command != CliCommand::kList && command != CliCommand::kReadSerial &&
        command != CliCommand::kUpdate && command != CliCommand::kVerify)
      return Fail(error, "--probe-serial applies to list, read-serial, update and verify only");
    if (probeGiven) return Fail(error, "--probe-serial and --probe name the probe twice: give one");
    if (options.repeat)
      return Fail(error,
                  "--probe-serial does not apply to --repeat: a station takes one probe after "
                  "another");
  }
  if (options.expectCrc32 && command != CliCommand::kCheck && command != CliCommand::kVerify &&
      command != CliCommand::kUpdate)
    return Fail(error, "--expect-crc32 applies to check, verify and update only");
  if (options.ifDifferent && command != CliCommand::kUpdate)
    return Fail(error, "--if-different applies to update only");
  if (options.expectVersion && command != CliCommand::kUpdate)
    return Fail(error, "--expect-version applies to update only");
  if (timeoutGiven && !options.expectVersion)
    return Fail(error,
                "--reset-timeout needs --expect-version: it bounds the wait for that version");
  return true;
}

// The options that apply to one command only.
bool CheckOptionsFit(const CliOptions& options, bool ledGiven, bool probeGiven,
                     std::string* error) {
  if (options.countUp && options.command != CliCommand::kWriteSerial)
    return Fail(error, "--count-up applies to write-serial only");
  if (ledGiven && options.command != CliCommand::kUpdate)
    return Fail(error, "--led applies to update only");
  const CommandRow& row = *RowOf(options.command);
  if (probeGiven && !row.touchesProbe && options.command != CliCommand::kReport)
    return Fail(error, std::string(row.name) + " touches no probe: --probe does not apply");
  if (row.needsLog && options.logPath.empty())
    return Fail(error, std::string(row.name) + " needs --log: the log is the pool it reports");
  if (options.command == CliCommand::kSerials && !options.argument.empty() &&
      !IsSerialText(options.argument))
    return Fail(error, "serials takes a START of 1 to 32 printable ASCII characters");
  if (options.repeat && !row.station)
    return Fail(error, "--repeat applies to " + CommandsWhere(&CommandRow::station) + " only");
  if (options.resume && options.command != CliCommand::kWriteSerial)
    return Fail(error, "--resume applies to write-serial only");
  if (options.resume && options.logPath.empty())
    return Fail(error, "--resume needs --log: the log is where it finds the last number");
  return true;
}

// The job's commands take only their own options: the job decides the rest,
// so a station cannot run it differently by a stray option.
bool CheckJobOptionsFit(const CliOptions& options, const std::vector<std::string>& seen,
                        std::string* error) {
  static const std::vector<std::string> kNewOptions = {
      "--image", "--name", "--expect-version", "--serials", "--log",
      "--steps", "--led",  "--reset-timeout"};
  static const std::vector<std::string> kCheckOptions = {"--json"};
  static const std::vector<std::string> kSignOptions = {"--key"};
  static const std::vector<std::string> kKeyNewOptions = {"--portable"};
  static const std::vector<std::string> kRunOptions = {"--probe", "--probe-serial", "--repeat",
                                                       "--yes",   "--json",         "--quiet"};
  const CliCommand command = options.command;
  const std::vector<std::string>& allowed =
      command == CliCommand::kJobNew                                        ? kNewOptions
      : command == CliCommand::kJobCheck || command == CliCommand::kKeyShow ? kCheckOptions
      : command == CliCommand::kJobSign                                     ? kSignOptions
      : command == CliCommand::kKeyNew                                      ? kKeyNewOptions
                                                                            : kRunOptions;
  for (const std::string& word : seen) {
    if (word == "--help" || word == "-h" || word == "/?" || word == "--version") continue;
    if (std::find(allowed.begin(), allowed.end(), word) == allowed.end()) {
      const bool ofJob = command == CliCommand::kJobNew || command == CliCommand::kJobCheck ||
                         command == CliCommand::kRun;
      return Fail(error, word + " does not apply to " + CommandName(options.command) +
                             (ofJob ? ": the job decides it" : ""));
    }
  }
  if (command == CliCommand::kJobSign && options.keyPath.empty())
    return Fail(error, "job sign needs --key NAME.key: the private key it signs with");
  if (options.command == CliCommand::kJobNew && !CheckNewJobNames(options, error)) return false;
  if (options.command == CliCommand::kRun && options.probeSerial && options.probe >= 0)
    return Fail(error, "--probe-serial and --probe name the probe twice: give one");
  if (options.command == CliCommand::kRun && options.probeSerial && options.repeat)
    return Fail(
        error,
        "--probe-serial does not apply to --repeat: a station takes one probe after another");
  return true;
}

// --probe all: every probe attached, at once.
bool CheckTrayOptionsFit(const CliOptions& options, std::string* error) {
  if (!options.probeAll) return true;
  const CliCommand command = options.command;
  if (!RowOf(command)->onTray)
    return Fail(error, "--probe all applies to " + CommandsWhere(&CommandRow::onTray) + " only");
  if (options.probeSerial)
    return Fail(error, "--probe-serial and --probe all name the probes twice: give one");
  if (command == CliCommand::kWriteSerial && !options.countUp)
    return Fail(error,
                "write-serial --probe all needs --count-up: one number cannot go to a whole tray");
  if (command == CliCommand::kUpdate && options.led != LedMode::kSkip)
    return Fail(error,
                "update --probe all needs --led skip: no one can judge the LEDs of a whole tray "
                "at once");
  return true;
}

}  // namespace

bool ParseCliOptions(const std::vector<std::u16string>& args, CliOptions* options,
                     std::string* error) {
  *options = CliOptions{};
  bool ledGiven = false, probeGiven = false, argumentGiven = false, optionsEnded = false;
  bool timeoutGiven = false;
  std::vector<std::string> seen;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string word = Narrow(args[i]);
    const bool isOption = !optionsEnded && word.size() > 1 && (word[0] == '-' || word == "/?");
    if (!isOption) {
      if (options->command == CliCommand::kNone) {
        if (word == "--") continue;
        std::string name = word;
        // job's and key's commands are two words: job new, key show ...
        if (word == "job" || word == "key" || word == "mes") {
          if (i + 1 >= args.size()) {
            return Fail(error, word == "job"   ? "job needs new, check or sign"
                               : word == "key" ? "key needs new or show"
                                               : "mes needs status or flush");
          }
          name += ' ';
          name += Narrow(args[++i]);
        }
        const CommandRow* row = FindCommandRow(name);
        if (row == nullptr) return Fail(error, "unknown command '" + name + "'");
        options->command = row->command;
      } else if (*RowOf(options->command)->argument != '\0' && !argumentGiven) {
        options->argument = args[i];
        argumentGiven = true;
      } else {
        return Fail(error, "unexpected argument '" + word + "'");
      }
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    if (word == "--help" || word == "-h" || word == "/?") {
      options->help = true;
      continue;
    }
    if (word != "--probe" && word != "--led" && word != "--log" && word != "--repeat") {
      for (const std::string& earlier : seen) {
        if (earlier == word) return Fail(error, word + " is given twice");
      }
    }
    seen.push_back(word);
    if (word == "--version") {
      options->version = true;
    } else if (word == "--yes") {
      options->yes = true;
    } else if (word == "--json") {
      options->json = true;
    } else if (word == "--quiet") {
      options->quiet = true;
    } else if (word == "--count-up") {
      options->countUp = true;
    } else if (word == "--resume") {
      options->resume = true;
    } else if (word == "--repeat") {
      if (options->repeat) return Fail(error, "--repeat is given twice");
      if (i + 1 >= args.size()) return Fail(error, "--repeat needs a value");
      int count = 0;
      if (!ParseRepeat(Narrow(args[++i]), &count))
        return Fail(error, "--repeat takes a count of probes 0 to " + std::to_string(kMostRepeats) +
                               " (0: until stopped), not '" + Narrow(args[i]) + "'");
      options->repeat = count;
    } else if (word == "--probe-serial" || word == "--expect-crc32" || word == "--expect-version" ||
               word == "--reset-timeout") {
      if (i + 1 >= args.size()) return Fail(error, word + " needs a value");
      const std::u16string& value = args[++i];
      const std::string text = Narrow(value);
      if (word == "--probe-serial") {
        if (!IsSerialText(value))
          return Fail(error,
                      "--probe-serial takes a serial number of 1 to 32 printable ASCII "
                      "characters, not '" +
                          text + "'");
        options->probeSerial = value;
      } else if (word == "--expect-crc32") {
        uint32_t crc = 0;
        if (!ParseCrc32(text, &crc))
          return Fail(error,
                      "--expect-crc32 takes 8 hexadecimal digits as check prints them, "
                      "not '" +
                          text + "'");
        options->expectCrc32 = crc;
      } else if (word == "--expect-version") {
        const std::optional<uint8_t> version = ParseProbeVersion(text);
        if (!version)
          return Fail(error,
                      "--expect-version takes a version as list shows it, such as 2.3 or 1.A "
                      "(0 to 7, full stop, 0 to 9 or A to F), not '" +
                          text + "'");
        char16_t shown[4];
        FormatProbeVersion(*version, shown);
        options->expectVersion = Narrow(shown);
      } else {
        if (!ParseSeconds(text, &options->resetTimeoutSeconds))
          return Fail(error, "--reset-timeout takes seconds 1 to 3600, not '" + text + "'");
        timeoutGiven = true;
        options->resetTimeoutGiven = true;
      }
    } else if (word == "--image" || word == "--name" || word == "--serials" || word == "--steps") {
      if (i + 1 >= args.size()) return Fail(error, word + " needs a value");
      const std::u16string& value = args[++i];
      if (value.empty()) return Fail(error, word + " needs a value");
      if (word == "--image") {
        options->image = value;
      } else {
        // A job file is UTF-8: the text goes in as it is.
        (word == "--name"      ? options->name
         : word == "--serials" ? options->serials
                               : options->steps) = Utf8(value);
      }
    } else if (IsReportOption(word)) {
      if (i + 1 >= args.size()) return Fail(error, word + " needs a value");
      if (!ParseReportOption(word, args[++i], options, error)) return false;
    } else if (word == "--key") {
      if (i + 1 >= args.size() || args[i + 1].empty()) return Fail(error, "--key needs a file");
      options->keyPath = args[++i];
    } else if (word == "--portable") {
      options->portable = true;
    } else if (word == "--if-different") {
      options->ifDifferent = true;
    } else if (word == "--probe" || word == "--led" || word == "--log") {
      if (word == "--probe" && probeGiven) return Fail(error, "--probe is given twice");
      if (word == "--led" && ledGiven) return Fail(error, "--led is given twice");
      if (word == "--log" && !options->logPath.empty()) return Fail(error, "--log is given twice");
      if (i + 1 >= args.size()) return Fail(error, word + " needs a value");
      const std::u16string& value = args[++i];
      if (word == "--probe") {
        options->probeAll = value == u"all";
        if (!options->probeAll && !ParseProbeIndex(Narrow(value), &options->probe))
          return Fail(error,
                      "--probe takes a device index 0 to 255 or all, not '" + Narrow(value) + "'");
        probeGiven = true;
      } else if (word == "--led") {
        if (value == u"ask") {
          options->led = LedMode::kAsk;
        } else if (value == u"skip") {
          options->led = LedMode::kSkip;
        } else {
          return Fail(error, "--led takes ask or skip, not '" + Narrow(value) + "'");
        }
        ledGiven = true;
        options->ledGiven = true;
      } else {
        if (value.empty()) return Fail(error, "--log needs a file name");
        // Never echoed: it may hold a password.
        if (ParseLogTarget(value).kind == LogKind::kUnmarkedConnection)
          return Fail(error, std::string("--log") + kUnmarkedConnectionWhy +
                                 " -- give --log odbc:CONNECTION for the line's database");
        options->logPath = value;
      }
    } else {
      return Fail(error, "unknown option '" + word + "'");
    }
  }
  if (options->help || options->version) return true;
  if (options->command == CliCommand::kNone) return Fail(error, "no command given");
  const CommandRow* row = RowOf(options->command);
  if (*row->argument != '\0' && !argumentGiven && !row->argumentOptional)
    return Fail(error, std::string(row->name) + " needs " + row->argument);
  if (IsMesCommand(options->command)) return CheckMesOptionsFit(*options, seen, error);
  if (options->command == CliCommand::kJobNew || options->command == CliCommand::kJobCheck ||
      options->command == CliCommand::kRun || options->command == CliCommand::kJobSign ||
      options->command == CliCommand::kKeyNew || options->command == CliCommand::kKeyShow) {
    return CheckJobOptionsFit(*options, seen, error) && CheckTrayOptionsFit(*options, error);
  }
  if (options->command == CliCommand::kWriteSerial && options->argument.empty())
    return Fail(error, "write-serial takes a serial number of 1 to 32 printable ASCII characters");
  return CheckOptionsFit(*options, ledGiven, probeGiven, error) &&
         CheckIdentityOptionsFit(*options, probeGiven, timeoutGiven, error) &&
         CheckReportOptionsFit(*options, probeGiven, error) && CheckTrayOptionsFit(*options, error);
}

std::string CommandName(CliCommand command) {
  const CommandRow* row = RowOf(command);
  return row == nullptr ? "" : row->name;
}

std::string MissingAnswerOption(const CliOptions& options) {
  const bool asksToGoOn = options.command == CliCommand::kWriteSerial ||
                          options.command == CliCommand::kUpdate ||
                          options.command == CliCommand::kRun;
  if (asksToGoOn && !options.yes) {
    return CommandName(options.command) +
           " asks before it changes the probe and standard input is not a console: give --yes";
  }
  if (options.command == CliCommand::kUpdate && options.led == LedMode::kAsk) {
    return "update asks about the LED display and standard input is not a console: give --led "
           "skip";
  }
  return "";
}
