// The job file read whole and hashed, then parsed from those bytes.
#include "line/job_load.h"

#include <filesystem>
#include <fstream>

#include "common/file_path.h"
#include "common/result_codes.h"
#include "common/sha256.h"
#include "ledger/operation_record.h"
#include "line/line_status.h"
#include "line/mes_keys.h"

namespace {

// A job file is a handful of lines; anything larger is not one.
constexpr size_t kMostJobBytes = 64 * 1024;

}  // namespace

std::u16string FromUtf8(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const int extra = byte < 0x80         ? 0
                      : (byte >> 5) == 6  ? 1
                      : (byte >> 4) == 14 ? 2
                      : (byte >> 3) == 30 ? 3
                                          : -1;
    char32_t code = extra == 0   ? byte
                    : extra == 1 ? byte & 0x1F
                    : extra == 2 ? byte & 0x0F
                                 : byte & 0x07;
    bool good = extra >= 0 && i + static_cast<size_t>(extra) < text.size();
    for (int k = 1; good && k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      good = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    if (!good || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

std::wstring WideFromUtf8(const std::string& text) {
  const std::u16string wide = FromUtf8(text);
  return std::wstring(wide.begin(), wide.end());
}

bool ReadFileBytes(const std::u16string& path, size_t mostBytes, std::string* bytes) {
  try {
    std::error_code error;
    const std::filesystem::path file = ToPath(path);
    if (!std::filesystem::is_regular_file(file, error)) return false;
    const uintmax_t size = std::filesystem::file_size(file, error);
    if (error || size > mostBytes) return false;
    std::ifstream in(file, std::ios::binary);
    bytes->assign(static_cast<size_t>(size), '\0');
    in.read(bytes->data(), static_cast<std::streamsize>(size));
    return static_cast<bool>(in) && in.gcount() == static_cast<std::streamsize>(size);
  } catch (...) {
    return false;
  }
}

int LoadLineJob(const std::u16string& path, LineJob* job, std::string* message) {
  const std::string name = Utf8(path);
  std::string bytes;
  if (!ReadFileBytes(path, kMostJobBytes, &bytes)) {
    *message = name + ": the job file cannot be read (missing, a folder, or over 64 KiB)";
    return kJobUnusable;
  }
  const std::string sha = Sha256Hex(bytes);
  if (sha.empty()) {
    *message = name + ": the job file cannot be hashed (SHA-256 is not available)";
    return kJobUnusable;
  }
  JobProblem problem;
  if (!ParseLineJob(bytes, name, sha, job, &problem)) {
    *message = DescribeJobProblem(name, problem);
    return kJobUnusable;
  }
  // The token is read again when sending starts; a job that names a file
  // that is not there is refused now, before any probe.
  if (!CheckMesTokenFile(*job, message)) return kJobUnusable;
  return 0;
}
