// The line job: one file that pins what a line makes (the image by its
// SHA-256 and CRC-32, the serial range, the steps, the record's store), read
// by both programs. UTF-8 text in the INI form Windows tools write: a [job]
// section, one `key = value` a line, `;` comments. The reader takes the
// file's bytes, so tests need no files; paths in it are resolved against the
// job file's folder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

enum class JobLed { kAsk, kSkip };

// A job's [signature] section as read (line/job_signature.h has its form).
struct JobSignature {
  std::string keyId;      // 16 lower-case hexadecimal digits
  std::string signedUtc;  // ISO 8601 UTC, as the log writes times
  std::string signature;  // the decoded signature, 384 bytes
  // The file's bytes before the [signature] line, as they are: what the
  // signature is over.
  std::string signedBytes;
  int line = 0;  // the [signature] line
};

struct LineJob {
  std::string path;  // the job file as given (UTF-8)
  std::string name;
  // The image: absolute, or joined to the job file's folder; empty in a
  // serial-only job, which has no image keys.
  std::string image;
  std::string imageSha256;                   // 64 lower-case hexadecimal digits
  uint32_t imageCrc32 = 0;                   // of the image as `check` prints it
  std::optional<std::string> expectVersion;  // X.Y
  // The serial range: FIRST-LAST of one series; both empty without one.
  std::string serialFirst;
  std::string serialLast;
  // The record's store: a CSV log's path (joined to the job file's folder
  // when relative) or "odbc:CONNECTION".
  std::string log;
  bool update = false;
  bool writeSerial = false;
  JobLed led = JobLed::kAsk;
  int resetTimeoutSeconds = 60;
  // The SHA-256 of the job file's bytes, 64 lower-case hexadecimal digits.
  std::string fileSha256;
  // The last second the job may run, ISO 8601 UTC ("2026-12-31T23:59:59Z";
  // a date given alone stands for its last second).
  std::optional<std::string> validUntil;
  // How many probes the job may make in all (the line's cap).
  std::optional<uint64_t> units;
  // The tray window's tiles: device indices 0 to slots - 1.
  int slots = 8;
  std::optional<JobSignature> signature;
  // The trusted key that signed the job, once this PC checked the signature
  // (AuthorizeJob, line/job_trust.h); empty when no key is trusted here.
  std::string trustedSigner;
  // The line's MES (line/mes_keys.h): the URL its events are posted to, the
  // file beside the job that holds the bearer token, and how many minutes
  // the oldest unsent event may wait before no new probe starts (0: none).
  std::string mes;
  std::string mesTokenFile;
  int mesHoldMinutes = 0;
};

// Why a job cannot be used: the line (1-based; 0 for the file as a whole or
// a key that is missing) and the key, with a reason of one line.
struct JobProblem {
  int line = 0;
  std::string key;
  std::string reason;
};

// Reads a job file's bytes. path: the job file as given, for its folder and
// for messages; fileSha256: the SHA-256 of bytes (the caller hashes them).
// false with *problem set on an unknown key, a missing key a step needs, a
// bad value or a [signature] section that cannot be read.
bool ParseLineJob(std::string_view bytes, const std::string& path, const std::string& fileSha256,
                  LineJob* job, JobProblem* problem);

// A path a job names: absolute, or joined to the job file's folder.
std::string BesideJobFile(const std::string& jobPath, const std::string& path);

// One line: "FILE:LINE: key: reason" (or without the line / key when none).
std::string DescribeJobProblem(const std::string& path, const JobProblem& problem);

// What the record's job column holds: the name, '@' and the first 8
// hexadecimal digits of the job file's SHA-256 ("line3@1a2b3c4d").
std::string JobTag(const LineJob& job);

// The job's range: whether serial lies in it (one series with FIRST, and
// FIRST <= serial <= LAST in numeric order), and how many numbers it holds
// (0 without a range).
bool InJobRange(const LineJob& job, const std::string& serial);
uint64_t JobRangeSize(const LineJob& job);

// The values of serials and steps as a job holds them (also as `job new`
// takes them); false with *why on a bad one.
bool ParseSerialRange(std::string_view value, std::string* first, std::string* last,
                      std::string* why);
bool ParseJobSteps(std::string_view value, bool* update, bool* writeSerial, std::string* why);

// A value or a line without the blanks (spaces, tabs, a CR) around it.
std::string_view TrimBlanks(std::string_view text);
// The text with A to Z made lower case, as keys and sections are compared.
std::string AsciiLower(std::string_view text);

// The text of a job file as `job new` writes it.
std::string FormatLineJob(const LineJob& job);
