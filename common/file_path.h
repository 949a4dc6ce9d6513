// A file's name as the program holds it (UTF-16) as a path of the file
// system: on Windows it stays UTF-16 all the way; elsewhere the path library
// converts it to the native multibyte form.
#pragma once

#include <filesystem>
#include <string>

inline std::filesystem::path ToPath(const std::u16string& name) {
#ifdef _WIN32
  return std::filesystem::path(std::wstring(name.begin(), name.end()));
#else
  return std::filesystem::path(name);
#endif
}
