// The job file's INI form: a [job] section, one `key = value` a line, `;`
// comments at the start of a line only (a connection string holds `;`).
// Every key is known and given once; a bad value is named with its line.
#include "line/job_file.h"

#include <algorithm>
#include <array>
#include <functional>

#include "ledger/log_target.h"
#include "ledger/operation_record.h"
#include "ledger/serial_pool.h"
#include "line/job_signature.h"
#include "line/job_slots.h"
#include "line/mes_keys.h"
#include "line/utc_time.h"
#include "probe/operations.h"
#include "serial/serial_text.h"

namespace {

constexpr size_t kNameMostChars = 64;
constexpr int kMostResetTimeoutSeconds = 3600;
constexpr char kSection[] = "[job]";
constexpr char kUpdateStep[] = "update";
constexpr char kWriteSerialStep[] = "write-serial";
constexpr size_t kTagDigits = 8;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

bool IsHex(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
  });
}

bool HasControl(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

bool IsAbsolute(const std::string& path) {
  return (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
         (path.size() >= 2 && path[1] == ':');
}

bool IsSerialText(const std::string& text) {
  return !text.empty() && CheckSerialText(std::u16string(text.begin(), text.end())) == 0;
}

// FIRST-LAST of one series: both halves the same length, so the dash that
// splits them is the middle one (a serial number may hold dashes itself).
bool SplitRange(std::string_view value, std::string* first, std::string* last, std::string* why) {
  if (value.size() < 3 || value.size() % 2 == 0 || value[value.size() / 2] != '-') {
    *why = "not FIRST-LAST of one series, such as SN0001-SN0500";
    return false;
  }
  *first = std::string(value.substr(0, value.size() / 2));
  *last = std::string(value.substr(value.size() / 2 + 1));
  if (!IsSerialText(*first) || !IsSerialText(*last) || !SameSeries(*first, *last)) {
    *why = "not FIRST-LAST of one series, such as SN0001-SN0500";
    return false;
  }
  if (SeriesLess(*last, *first)) {
    *why = "the last number comes before the first";
    return false;
  }
  return true;
}

// A value runs to the end of its line. What another INI reader would take
// for a comment after it, or for quotes around it, is refused rather than
// kept, so no value silently means something else than it reads.
bool PlainValue(std::string_view value, std::string* why) {
  if (ValidUtf8(value) != value) return *why = "not UTF-8 text", false;
  if (value.find(" ;") != std::string_view::npos || value.find("\t;") != std::string_view::npos) {
    *why = "a comment after a value is not one: a comment is a line of its own, starting with ;";
    return false;
  }
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return *why = "a value is written without quotes around it", false;
  }
  return true;
}

struct Reader {
  const std::string& path;
  LineJob* job;
  JobProblem* problem;

  bool Fail(int line, const std::string& key, const std::string& reason) {
    *problem = JobProblem{line, ValidUtf8(key), reason};
    return false;
  }

  std::array<int, 13 + kMesKeyCount> seenAt{};  // the line each key was given on

  // One key's value into the job; false with *why on a bad value.
  bool Take(size_t key, std::string_view value, std::string* why) {
    switch (key) {
      case 0:
        if (value.empty() || value.size() > kNameMostChars || HasControl(value)) {
          *why = "a name of 1 to 64 characters";
          return false;
        }
        job->name = std::string(value);
        return true;
      case 1:
        if (value.empty()) return *why = "an image file is needed", false;
        job->image = BesideJobFile(path, std::string(value));
        return true;
      case 2:
        if (value.size() != 64 || !IsHex(value)) return *why = "64 hexadecimal digits", false;
        job->imageSha256 = AsciiLower(value);
        return true;
      case 3:
        if (value.size() != 8 || !IsHex(value)) {
          return *why = "8 hexadecimal digits, as check prints them", false;
        }
        job->imageCrc32 = static_cast<uint32_t>(std::stoul(std::string(value), nullptr, 16));
        return true;
      case 4: {
        const std::optional<uint8_t> version = ParseProbeVersion(value);
        if (!version) return *why = "a version X.Y, such as 2.3 or 1.A", false;
        // As the probe's answer is shown, so the wait compares like with like.
        char16_t text[4] = {};
        FormatProbeVersion(*version, text);
        job->expectVersion = std::string(text, text + 3);
      }
        return true;
      case 5:
        return SplitRange(value, &job->serialFirst, &job->serialLast, why);
      case 6: {
        if (value.empty()) return *why = "a CSV log's path or odbc:CONNECTION", false;
        const LogKind kind = ParseLogTarget(std::string(value)).kind;
        if (kind == LogKind::kUnmarkedConnection) {
          *why = std::string("it") + kUnmarkedConnectionWhy +
                 "; give log = odbc:CONNECTION for the line's database";
          return false;
        }
        job->log = kind == LogKind::kDatabase ? std::string(value)
                                              : BesideJobFile(path, std::string(value));
        return true;
      }
      case 7:
        return ParseJobSteps(value, &job->update, &job->writeSerial, why);
      case 8:
        if (value != "ask" && value != "skip") return *why = "ask or skip", false;
        job->led = value == "ask" ? JobLed::kAsk : JobLed::kSkip;
        return true;
      case 9: {
        const bool digits =
            !value.empty() && value.size() <= 4 &&
            std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
        const int seconds = digits ? std::stoi(std::string(value)) : 0;
        if (seconds < 1 || seconds > kMostResetTimeoutSeconds) {
          return *why = "whole seconds from 1 to 3600", false;
        }
        job->resetTimeoutSeconds = seconds;
        return true;
      }
      case 10: {
        std::string until;
        if (!ParseUtcLimit(value, &until)) {
          return *why = "a UTC time such as 2026-12-31T18:00:00Z, or a date such as 2026-12-31",
                 false;
        }
        job->validUntil = until;
        return true;
      }
      case 11: {
        uint64_t units = 0;
        if (!ParseJobUnits(value, &units, why)) return false;
        job->units = units;
        return true;
      }
      case 12:
        return ParseJobSlots(value, &job->slots, why);
      default:
        return TakeMesKey(key - 13, value, path, job, why);
    }
  }
};

constexpr size_t kNoKey = SIZE_MAX;
constexpr std::array<const char*, 13> kKeys = {
    "name",  "image", "image_sha256",  "image_crc32", "expect_version", "serials", "log",
    "steps", "led",   "reset_timeout", "valid_until", "units",          "slots"};

// Past the job's own keys come the MES's (line/mes_keys.cpp).
size_t KeyIndex(std::string_view key) {
  for (size_t i = 0; i < kKeys.size() + kMesKeyCount; ++i) {
    if (key == (i < kKeys.size() ? kKeys[i] : kMesKeys[i - kKeys.size()])) return i;
  }
  return kNoKey;
}

}  // namespace

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string_view TrimBlanks(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool ParseLineJob(std::string_view bytes, const std::string& path, const std::string& fileSha256,
                  LineJob* job, JobProblem* problem) {
  *job = LineJob{};
  job->path = path;
  job->fileSha256 = fileSha256;
  Reader reader{path, job, problem};
  const SignatureSplit split = FindSignatureSection(bytes);
  if (split.offset != std::string_view::npos) {
    JobSignature signature;
    if (!ReadSignatureSection(bytes.substr(split.offset), split.line, &signature, problem)) {
      return false;
    }
    signature.signedBytes = std::string(bytes.substr(0, split.offset));
    job->signature = std::move(signature);
    bytes = bytes.substr(0, split.offset);
  }
  if (bytes.substr(0, 3) == kByteOrderMark) bytes.remove_prefix(3);
  bool inSection = false;
  int lineNumber = 0;
  while (!bytes.empty() || lineNumber == 0) {
    ++lineNumber;
    const size_t end = bytes.find('\n');
    const std::string_view line = TrimBlanks(bytes.substr(0, end));
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      if (AsciiLower(line) != kSection) {
        return reader.Fail(lineNumber, std::string(line), "the only section is [job]");
      }
      if (inSection) return reader.Fail(lineNumber, kSection, "given twice");
      inSection = true;
      continue;
    }
    const size_t equals = line.find('=');
    const std::string key = AsciiLower(TrimBlanks(line.substr(0, equals)));
    if (equals == std::string_view::npos) {
      return reader.Fail(lineNumber, key, "not a `key = value` line");
    }
    if (!inSection) return reader.Fail(lineNumber, key, "comes before the [job] line");
    const size_t index = KeyIndex(key);
    if (index == kNoKey) return reader.Fail(lineNumber, key, "not a key of a job");
    if (reader.seenAt[index] != 0) {
      return reader.Fail(
          lineNumber, key,
          "given twice (first on line " + std::to_string(reader.seenAt[index]) + ")");
    }
    reader.seenAt[index] = lineNumber;
    const std::string_view value = TrimBlanks(line.substr(equals + 1));
    std::string why;
    if (!PlainValue(value, &why) || !reader.Take(index, value, &why)) {
      // A log value or a URL may hold a password: only what a message may show.
      const std::string shown = ValidUtf8(index == 6    ? ParseLogTarget(std::string(value)).shown
                                          : index >= 12 ? MaskMesUrl(value)
                                                        : std::string(value));
      return reader.Fail(lineNumber, key, "bad value \"" + shown + "\": " + why);
    }
  }
  if (!inSection) return reader.Fail(0, kSection, "missing: a job file starts with [job]");
  const auto missing = [&](size_t index, const std::string& why) {
    return reader.seenAt[index] == 0 ? reader.Fail(0, kKeys[index], "missing: " + why),
           true                      : false;
  };
  if (missing(0, "every job has a name") || missing(6, "every job keeps its record") ||
      missing(7, "every job has its steps")) {
    return false;
  }
  const bool anyImageKey = reader.seenAt[1] || reader.seenAt[2] || reader.seenAt[3];
  if ((job->update || anyImageKey) && (missing(1, "the update needs the image") ||
                                       missing(2, "the image is pinned by its SHA-256") ||
                                       missing(3, "the image is pinned by its CRC-32"))) {
    return false;
  }
  if (job->writeSerial && missing(5, "write-serial takes its numbers from the range")) {
    return false;
  }
  return CheckMesKeys(*job, problem);
}

bool ParseSerialRange(std::string_view value, std::string* first, std::string* last,
                      std::string* why) {
  return SplitRange(value, first, last, why);
}

bool ParseJobSteps(std::string_view value, bool* update, bool* writeSerial, std::string* why) {
  *update = *writeSerial = false;
  int order = 0;
  for (;;) {
    const size_t comma = value.find(',');
    const std::string_view step = TrimBlanks(value.substr(0, comma));
    if (step == kUpdateStep && order < 1) {
      *update = true;
      order = 1;
    } else if (step == kWriteSerialStep && order < 2) {
      *writeSerial = true;
      order = 2;
    } else {
      *why = "steps are update, write-serial, or both in that order";
      return false;
    }
    if (comma == std::string_view::npos) return true;
    value.remove_prefix(comma + 1);
  }
}

// A path in the job is relative to the job file's folder, so the job and
// its image, log and token travel together.
std::string BesideJobFile(const std::string& jobPath, const std::string& path) {
  if (IsAbsolute(path)) return path;
  const size_t slash = jobPath.find_last_of("/\\");
  if (slash == std::string::npos) return path;
  return jobPath.substr(0, slash + 1) + path;
}

std::string DescribeJobProblem(const std::string& path, const JobProblem& problem) {
  std::string text = path;
  if (problem.line > 0) {
    text += ':';
    text += std::to_string(problem.line);
  }
  text += ": ";
  if (!problem.key.empty()) {
    text += problem.key;
    text += ": ";
  }
  text += problem.reason;
  return text;
}

std::string JobTag(const LineJob& job) {
  return job.name + "@" + job.fileSha256.substr(0, kTagDigits);
}

bool InJobRange(const LineJob& job, const std::string& serial) {
  return !job.serialFirst.empty() && SameSeries(job.serialFirst, serial) &&
         !SeriesLess(serial, job.serialFirst) && !SeriesLess(job.serialLast, serial);
}

uint64_t JobRangeSize(const LineJob& job) {
  if (job.serialFirst.empty()) return 0;
  const size_t digits = DigitsAtEnd(job.serialFirst);
  // The difference of the numbers: past 18 digits a range is counted as
  // large as a counter holds, which no line exhausts.
  uint64_t first = 0, last = 0;
  const size_t from = job.serialFirst.size() - digits;
  for (size_t i = from; i < job.serialFirst.size(); ++i) {
    if (i - from >= 18) return UINT64_MAX;
    first = first * 10 + static_cast<uint64_t>(job.serialFirst[i] - '0');
    last = last * 10 + static_cast<uint64_t>(job.serialLast[i] - '0');
  }
  return last - first + 1;
}

std::string FormatLineJob(const LineJob& job) {
  std::string text =
      "; A line job of the Velkoro writer: the image is pinned by its SHA-256 and\r\n"
      "; CRC-32; ostrelin-cli job check tells whether it can run.\r\n[job]\r\n";
  const auto line = [&](const char* key, const std::string& value) {
    text += std::string(key) + " = " + value + "\r\n";
  };
  line("name", job.name);
  if (!job.image.empty()) {
    line("image", job.image);
    line("image_sha256", job.imageSha256);
    char crc[9];
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (int i = 0; i < 8; ++i) crc[i] = kDigits[(job.imageCrc32 >> (28 - 4 * i)) & 0xF];
    crc[8] = '\0';
    line("image_crc32", crc);
  }
  if (job.expectVersion) line("expect_version", *job.expectVersion);
  if (!job.serialFirst.empty()) line("serials", job.serialFirst + "-" + job.serialLast);
  line("log", job.log);
  std::string steps = job.update ? kUpdateStep : "";
  if (job.writeSerial) steps += std::string(steps.empty() ? "" : ",") + kWriteSerialStep;
  line("steps", steps);
  line("led", job.led == JobLed::kAsk ? "ask" : "skip");
  line("reset_timeout", std::to_string(job.resetTimeoutSeconds));
  if (job.validUntil) line("valid_until", *job.validUntil);
  if (job.units) line("units", std::to_string(*job.units));
  if (job.slots != kDefaultTraySlots) line("slots", std::to_string(job.slots));
  return text;
}
