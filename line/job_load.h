// The job from disk and its image pinned: what both programs do with a job
// before any probe is touched.
#pragma once

#include <string>

#include "line/job_file.h"

class FirmwareImage;

// The job file read and parsed: 0 with *job, or kJobUnusable with one line
// naming the file, the line and the key in *message.
int LoadLineJob(const std::u16string& path, LineJob* job, std::string* message);

// The job's image, pinned: found, its bytes' SHA-256 the job's, read as
// the window reads a firmware file into *image, and its CRC-32 the job's. 0
// leaves the image read for the update; kImageNotPinned with both values of the
// first that differs; a file check's result code (4.1's 11 to 13) otherwise,
// with *message for the console.
int CheckJobImage(const LineJob& job, FirmwareImage* image, std::string* message);

// The file's bytes, at most mostBytes; false when it cannot be read whole.
bool ReadFileBytes(const std::u16string& path, size_t mostBytes, std::string* bytes);

// UTF-16 of UTF-8 text (a job's paths); a byte that is not UTF-8 becomes
// U+FFFD.
std::u16string FromUtf8(const std::string& text);
