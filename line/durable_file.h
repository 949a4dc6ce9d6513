// A file written so that it is whole on disk or not there at all: the bytes
// go to a temporary name, are flushed to the disk, and only then is the
// file renamed to its own name. The Windows programs write through Win32
// (FlushFileBuffers, MoveFileExW with write-through); the native build
// through POSIX (fsync, rename).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// false with *error (the system's reason and code) when any step failed;
// the temporary file is then removed.
bool WriteFileDurably(const std::filesystem::path& temporary, const std::filesystem::path& path,
                      std::string_view bytes, std::string* error);
