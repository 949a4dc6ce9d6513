// Whole files as the tests read them back: transcripts, flash dumps, logs.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace test_files {

// A path of this test program's own under the system's temporary folder:
// the name and the process's id, so the same tests running at once in
// another build (the sanitizer build beside the plain one) or another
// process of the same program never share it.
inline std::filesystem::path OwnTempPath(const std::string& name) {
#ifdef _WIN32
  const int pid = _getpid();
#else
  const int pid = static_cast<int>(getpid());
#endif
  return std::filesystem::temp_directory_path() / (name + "_" + std::to_string(pid));
}

// The file's bytes; empty when it is absent or cannot be read.
inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace test_files
