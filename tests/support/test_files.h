// Whole files as the tests read them back: transcripts, flash dumps, logs.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace test_files {

// The file's bytes; empty when it is absent or cannot be read.
inline std::string ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace test_files
