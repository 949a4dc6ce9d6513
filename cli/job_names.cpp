#include "cli/job_names.h"

#include <algorithm>
#include <array>
#include <filesystem>

#include "cli/file_identity.h"
#include "common/file_path.h"
#include "ledger/log_target.h"
#include "ledger/operation_record.h"

namespace {

char16_t Upper(char16_t c) {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

std::u16string UpperText(std::u16string text) {
  std::transform(text.begin(), text.end(), text.begin(), Upper);
  return text;
}

bool IsDevice(const std::u16string& name) {
  // Windows opens the device whatever follows the name after a dot or blanks.
  std::u16string base = UpperText(name.substr(0, name.find(u'.')));
  while (!base.empty() && base.back() == u' ') base.pop_back();
  static const std::array<std::u16string, 4> kDevices = {u"CON", u"PRN", u"AUX", u"NUL"};
  if (std::find(kDevices.begin(), kDevices.end(), base) != kDevices.end()) return true;
  return base.size() == 4 && (base.rfind(u"COM", 0) == 0 || base.rfind(u"LPT", 0) == 0) &&
         base[3] >= u'1' && base[3] <= u'9';
}

// Two names of one file: the same file when both exist, else the same
// absolute name (in any case on Windows, where names compare so).
bool SameName(const std::u16string& a, const std::u16string& b) {
  if (SameFile(ToPath(a), ToPath(b))) return true;
  std::error_code error;
  const auto normal = [&](const std::u16string& name) {
    std::u16string text =
        std::filesystem::absolute(ToPath(name), error).lexically_normal().u16string();
#ifdef _WIN32
    text = UpperText(text);
#endif
    return text;
  };
  return normal(a) == normal(b);
}

}  // namespace

std::string WindowsNameProblem(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"/\\");
  const std::u16string name = slash == std::u16string::npos ? path : path.substr(slash + 1);
  if (name.empty()) return "names a folder, not a file";
  if (IsDevice(name)) return "is a device's name on Windows (NUL, CON, PRN, AUX, COM1-9, LPT1-9)";
  for (char16_t c : name) {
    if (c < 0x20 || std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos)
      return "holds a character Windows does not take in a file's name (<>:\"|?* or a control "
             "character)";
  }
  if (name.back() == u'.' || name.back() == u' ')
    return "ends in a dot or a blank, which Windows drops from a file's name";
  return "";
}

bool CheckNewJobNames(const CliOptions& options, std::string* error) {
  const std::u16string& job = options.argument;
  if (const std::string problem = WindowsNameProblem(job); !problem.empty()) {
    *error = "job new: " + ValidUtf8(Utf8(job)) + " " + problem;
    return false;
  }
  if (ParseLogTarget(options.logPath).kind == LogKind::kFile && !options.logPath.empty() &&
      SameName(job, options.logPath)) {
    *error = "job new: --log names the job file itself; give the record a file of its own";
    return false;
  }
  if (options.image && SameName(job, *options.image)) {
    *error = "job new: --image names the job file itself";
    return false;
  }
  return true;
}
