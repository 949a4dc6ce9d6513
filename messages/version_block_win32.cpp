// Reads the product name and the fixed file version from the version block
// of the running program's own file.
#include "messages/version_block_win32.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "messages/app_version.h"

namespace {

// The first size asked for the program's path, and the step by which a path
// that did not fit enlarges the buffer.
constexpr DWORD kModulePathChars = 1024;
constexpr DWORD kModulePathStep = 256;

std::wstring OwnModulePath() {
  std::vector<wchar_t> buffer(kModulePathChars);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() + kModulePathStep);
  }
}

bool ReadVersionBlock(AppVersion& version) {
  const std::wstring path = OwnModulePath();
  if (path.empty()) return false;
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<unsigned char> block(size);
  if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return false;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  version.major = HIWORD(fixed->dwFileVersionMS);
  version.minor = LOWORD(fixed->dwFileVersionMS);
  version.build = HIWORD(fixed->dwFileVersionLS);
  version.revision = LOWORD(fixed->dwFileVersionLS);

  WORD* translation = nullptr;
  if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
      length < 2 * sizeof(WORD)) {
    return false;
  }
  wchar_t query[64];
  std::swprintf(query, sizeof(query) / sizeof(query[0]), L"\\StringFileInfo\\%04x%04x\\ProductName",
                translation[0], translation[1]);
  wchar_t* name = nullptr;
  if (!::VerQueryValueW(block.data(), query, reinterpret_cast<void**>(&name), &length) ||
      length == 0) {
    return false;
  }
  // The length counts the terminator when the block stores one.
  std::wstring product(name, length);
  product.resize(std::wcslen(product.c_str()));
  version.productName.assign(product.begin(), product.end());
  return true;
}

}  // namespace

std::u16string GetAppVersionText(VersionTextForm form) {
  AppVersion version;
  if (ReadVersionBlock(version)) SetAppVersion(version);
  return FormatAppVersionText(form);
}
