// A job's [signature] section: the file's last section, after everything it
// signs.
//
//   [signature]
//   key_id = 1a2b3c4d5e6f7081
//   signed_utc = 2026-12-09T06:00:00Z
//   signature = BASE64 (384 bytes: RSA-PSS, SHA-256, salt 32)
//
// The signature is over the file's bytes before the [signature] line,
// exactly as they are: line ends, blanks, comments and a byte order mark
// included, so nothing is normalised before it is checked.
#pragma once

#include <string>
#include <string_view>

#include "line/job_file.h"

// Where the [signature] line starts in bytes (the signed bytes are the ones
// before it), and the line's number; npos and 0 for a file without one.
struct SignatureSplit {
  size_t offset = std::string_view::npos;
  int line = 0;
};
SignatureSplit FindSignatureSection(std::string_view bytes);

// Reads the section's lines (section: from its [signature] line to the end,
// firstLine that line's number). false with *problem naming the line and
// key: a key missing, given twice or unknown (a job's key after the section
// is not signed), a second section, base64 that does not decode, a
// signature that is not 384 bytes.
bool ReadSignatureSection(std::string_view section, int firstLine, JobSignature* signature,
                          JobProblem* problem);

// The section job sign appends, with the line end the file uses.
std::string FormatSignatureSection(const JobSignature& signature, std::string_view lineEnd);
