// The trusted-keys folder beside the running program, read with Win32 so a
// path of any characters works.
#include "line/system_trust.h"

// windows.h must come first.
// clang-format off
#include <windows.h>
// clang-format on

#include <cstdio>

#include "ledger/operation_record.h"
#include "line/job_load.h"
#include "line/utc_time.h"

namespace {

// A public key file is a few hundred bytes; anything larger is not one.
constexpr DWORD kMostKeyFileBytes = 64 * 1024;

std::string ErrorText(DWORD error) {
  return "error " + std::to_string(error);
}

std::string Narrow(const std::wstring& text) {
  return Utf8(std::u16string(text.begin(), text.end()));
}

class BesideProgram : public KeyFolder {
 public:
  BesideProgram() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
      const DWORD length =
          GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
      if (length == 0) break;
      if (length < path.size()) {
        path.resize(length);
        const size_t slash = path.find_last_of(L"\\/");
        folder_ = path.substr(0, slash + 1) + L"trusted-keys";
        break;
      }
      path.resize(path.size() * 2);
    }
  }

  std::string Where() const override { return Narrow(folder_); }

  bool List(std::vector<std::string>* names, std::string* why) override {
    names->clear();
    if (folder_.empty()) return *why = "the program's own path is unknown", false;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder_ + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return true;
      *why = ErrorText(error);
      return false;
    }
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        names->push_back(Narrow(found.cFileName));
      }
    } while (FindNextFileW(search, &found));
    const DWORD error = GetLastError();
    FindClose(search);
    if (error != ERROR_NO_MORE_FILES) return *why = ErrorText(error), false;
    return true;
  }

  bool Read(const std::string& name, std::string* bytes, std::string* why) override {
    const HANDLE file =
        CreateFileW((folder_ + L"\\" + WideFromUtf8(name)).c_str(), GENERIC_READ, FILE_SHARE_READ,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return *why = ErrorText(GetLastError()), false;
    LARGE_INTEGER size{};
    bool good = GetFileSizeEx(file, &size) != 0;
    DWORD error = good ? 0 : GetLastError();
    if (good && size.QuadPart > kMostKeyFileBytes) {
      CloseHandle(file);
      return *why = "larger than a key file", false;
    }
    DWORD read = 0;
    if (good) {
      bytes->assign(static_cast<size_t>(size.QuadPart), '\0');
      good = ReadFile(file, bytes->data(), static_cast<DWORD>(bytes->size()), &read, nullptr) != 0;
      if (!good) error = GetLastError();
    }
    CloseHandle(file);
    if (!good) return *why = ErrorText(error), false;
    bytes->resize(read);
    return true;
  }

 private:
  std::wstring folder_;
};

}  // namespace

KeyFolder& ProgramKeyFolder() {
  static BesideProgram folder;
  return folder;
}

JobTrustContext ProgramTrustContext() {
  return JobTrustContext{&ProgramKeyFolder(), &SystemKeyCrypto(), UtcTextNow()};
}
