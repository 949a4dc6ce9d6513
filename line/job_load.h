// The job from disk, and the file reading and text conversion the job run
// shares.
#pragma once

#include <string>

#include "line/job_file.h"

// The job file read and parsed: 0 with *job, or kJobUnusable with one line
// naming the file, the line and the key in *message.
int LoadLineJob(const std::u16string& path, LineJob* job, std::string* message);

// The file's bytes, at most mostBytes; false when it cannot be read whole.
bool ReadFileBytes(const std::u16string& path, size_t mostBytes, std::string* bytes);

// UTF-16 of UTF-8 text (a job's paths); a byte that is not UTF-8 becomes
// U+FFFD.
std::u16string FromUtf8(const std::string& text);
// The same as a wide string, for the Win32 calls (wchar_t is UTF-16 there).
std::wstring WideFromUtf8(const std::string& text);
