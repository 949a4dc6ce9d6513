// The console program's command line: one command, its argument, and the
// options, checked completely before anything else happens.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class CliCommand {
  kNone,
  kList,
  kReadSerial,
  kWriteSerial,
  kUpdate,
  kVerify,
  kCheck,
  kSerials,
  kReport,
  kJobNew,     // job new JOB
  kJobCheck,   // job check JOB
  kRun,        // run JOB
  kJobSign,    // job sign JOB --key NAME.key
  kKeyNew,     // key new NAME
  kKeyShow,    // key show FILE
  kMesStatus,  // mes status --job JOB
  kMesFlush,   // mes flush --job JOB
  kAudit,      // audit --log FILE
};
enum class LedMode { kAsk, kSkip };

struct CliOptions {
  CliCommand command = CliCommand::kNone;
  // write-serial: the text; update, verify, check: the file; serials: the
  // number the next free one is counted from (may be empty)
  std::u16string argument;
  bool countUp = false;
  LedMode led = LedMode::kAsk;
  int probe = -1;  // -1: exactly one probe must be attached
  // --probe all: every probe attached, at once (a tray).
  bool probeAll = false;
  // --probe-serial TEXT: the probe whose stored serial number is TEXT.
  std::optional<std::u16string> probeSerial;
  // --expect-crc32 HEX: the image's CRC-32 must be this.
  std::optional<uint32_t> expectCrc32;
  // update --if-different: leave a probe that already holds the image alone.
  bool ifDifferent = false;
  // update --expect-version X.Y: the version the probe must answer after the
  // reset, within resetTimeoutSeconds.
  std::optional<std::string> expectVersion;
  int resetTimeoutSeconds = 60;
  bool yes = false;
  bool json = false;
  bool quiet = false;
  std::u16string logPath;  // empty: no log; odbc:... the line's database
  // --repeat N: a station run of N probes (0: until stopped); none: once.
  std::optional<int> repeat;
  bool resume = false;  // start after the last number the log records
  // report: its window of time (ISO 8601 UTC as the log writes it), the page
  // it writes, and how often it writes it again (0: once).
  std::optional<std::string> since;
  std::optional<std::string> until;
  std::u16string htmlPath;
  int everySeconds = 0;
  // report --job JOB: only that job's records, and its range's numbers left.
  std::u16string jobPath;
  // audit --witness FILE: chain values the record must still hold.
  std::u16string witnessPath;
  bool help = false;
  bool version = false;
  // job new: the job's fields as given; the led and reset time-out given
  // (the job's defaults otherwise).
  std::optional<std::u16string> image;
  std::optional<std::string> name;
  std::optional<std::string> serials;
  std::optional<std::string> steps;
  bool ledGiven = false;
  bool resetTimeoutGiven = false;
  // job sign --key: the private key file; key new --portable: the private
  // key written unprotected.
  std::u16string keyPath;
  bool portable = false;
};

// Exit statuses beside the result codes 1 to 22.
inline constexpr int kExitOk = 0;
inline constexpr int kExitDeclined = 23;
// update --expect-version: the probe never answered after the reset, or
// answered only with another version.
inline constexpr int kExitNeverAnswered = 24;
inline constexpr int kExitOtherVersion = 25;
// --expect-crc32: the image's CRC-32 is another; no probe was touched.
inline constexpr int kExitCrcMismatch = 26;
// The log holds the number (written, spent or claimed): nothing was touched.
inline constexpr int kExitAlreadyWritten = 65;
// audit: the record's chain is broken, or a witness value is missing.
inline constexpr int kExitChainBroken = 65;
inline constexpr int kExitUsage = 64;
inline constexpr int kExitLogFailed = 74;
// Ctrl+C stopped the operation between two of its steps.
inline constexpr int kExitInterrupted = 130;
// run JOB: every number of the job's range is held; no probe was touched.
inline constexpr int kExitRangeUsedUp = 27;
// run JOB: every unit of the job's cap is held; no probe was touched.
inline constexpr int kExitUnitsUsedUp = 28;
// job new: the job file exists already and is left as it is.
inline constexpr int kExitCannotCreate = 73;
// The job file cannot be used: unreadable, an unknown key, a missing key a
// step needs, or a bad value (the message names the line and the key); or
// a key file cannot be used (another kind of file, damaged, protected for
// another Windows user).
inline constexpr int kExitJobUnusable = 78;
// The job may not run on this PC (line/job_trust.h): nothing was touched.
inline constexpr int kExitNotAuthorized = 77;
// mes flush: the MES did not take every event; they wait in the outbox.
inline constexpr int kExitMesUnreachable = 75;

// Parses the arguments after the program name. false: a usage error, with a
// one-line reason in *error.
bool ParseCliOptions(const std::vector<std::u16string>& args, CliOptions* options,
                     std::string* error);

// The name the command line uses for a command ("write-serial" ...).
std::string CommandName(CliCommand command);

// What a question needs that standard input cannot give when it is not a
// console: empty when the command asks nothing, otherwise the reason for
// refusing (naming the missing option).
std::string MissingAnswerOption(const CliOptions& options);

std::string CliHelpText();
