#include "line/job_signature.h"

#include <array>

#include "line/base64.h"
#include "line/job_file.h"
#include "line/key_crypto.h"
#include "line/key_text.h"
#include "line/utc_time.h"

namespace {

constexpr char kSection[] = "[signature]";

bool Fail(JobProblem* problem, int line, std::string key, std::string reason) {
  *problem = JobProblem{line, std::move(key), std::move(reason)};
  return false;
}

}  // namespace

SignatureSplit FindSignatureSection(std::string_view bytes) {
  int line = 0;
  for (size_t start = 0; start < bytes.size();) {
    ++line;
    const size_t end = bytes.find('\n', start);
    const size_t length = (end == std::string_view::npos ? bytes.size() : end) - start;
    if (AsciiLower(TrimBlanks(bytes.substr(start, length))) == kSection) return {start, line};
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return {};
}

bool ReadSignatureSection(std::string_view section, int firstLine, JobSignature* signature,
                          JobProblem* problem) {
  static constexpr std::array<const char*, 3> kKeys = {"key_id", "signed_utc", "signature"};
  std::array<int, 3> seenAt{};
  std::array<std::string, 3> values;
  int line = firstLine - 1;
  while (!section.empty()) {
    ++line;
    const size_t end = section.find('\n');
    const std::string_view text = TrimBlanks(section.substr(0, end));
    section.remove_prefix(end == std::string_view::npos ? section.size() : end + 1);
    if (line == firstLine || text.empty() || text.front() == ';' || text.front() == '#') continue;
    if (text.front() == '[') {
      const std::string name = AsciiLower(text);
      return Fail(problem, line, std::string(text.substr(0, 40)),
                  name == kSection ? "given twice: a job has one [signature] section"
                                   : "the [signature] section is the file's last: a section "
                                     "after it is not signed");
    }
    const size_t equals = text.find('=');
    const std::string key = AsciiLower(TrimBlanks(text.substr(0, equals)));
    if (equals == std::string_view::npos)
      return Fail(problem, line, key, "not a `key = value` line");
    size_t index = kKeys.size();
    for (size_t i = 0; i < kKeys.size(); ++i) {
      if (key == kKeys[i]) index = i;
    }
    if (index == kKeys.size()) {
      return Fail(problem, line, key,
                  "not a key of the [signature] section: a job's keys go before it, where they "
                  "are signed");
    }
    if (seenAt[index] != 0) {
      return Fail(problem, line, key,
                  "given twice (first on line " + std::to_string(seenAt[index]) + ")");
    }
    seenAt[index] = line;
    values[index] = std::string(TrimBlanks(text.substr(equals + 1)));
  }
  for (size_t i = 0; i < kKeys.size(); ++i) {
    if (seenAt[i] == 0) {
      return Fail(problem, firstLine, kKeys[i],
                  "missing: a [signature] section holds key_id, signed_utc and signature");
    }
  }
  const std::string& id = values[0];
  if (!IsKeyId(id)) {
    return Fail(problem, seenAt[0], kKeys[0], "not a key id of 16 hexadecimal digits");
  }
  if (!IsUtcTime(values[1])) {
    return Fail(problem, seenAt[1], kKeys[1], "not a UTC time such as 2026-12-09T06:00:00Z");
  }
  const std::optional<std::string> bytes = DecodeBase64(values[2]);
  if (!bytes) return Fail(problem, seenAt[2], kKeys[2], "not base64");
  if (bytes->size() != kSignatureBytes) {
    return Fail(problem, seenAt[2], kKeys[2],
                std::to_string(bytes->size()) + " bytes: a signature of an RSA-3072 key is " +
                    std::to_string(kSignatureBytes));
  }
  signature->keyId = id;
  signature->signedUtc = values[1];
  signature->signature = *bytes;
  signature->line = firstLine;
  return true;
}

std::string FormatSignatureSection(const JobSignature& signature, std::string_view lineEnd) {
  const std::string end(lineEnd);
  return std::string(kSection) + end + "key_id = " + signature.keyId + end +
         "signed_utc = " + signature.signedUtc + end +
         "signature = " + EncodeBase64(signature.signature) + end;
}
