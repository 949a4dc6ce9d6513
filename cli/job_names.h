// The names job new is given: a job file is a file Windows can hold under
// that name (not a device such as NUL or CON, which would take the job and
// keep nothing), and it is neither its own log nor its own image.
#pragma once

#include <string>

#include "cli/cli_options.h"

// Why the last part of path is no file's name on Windows (a device name
// with any extension in any case, one of <>:"|?*, a control character, a
// trailing dot or blank); empty when it is one.
std::string WindowsNameProblem(const std::u16string& path);

// job new's file names; false with a one-line reason.
bool CheckNewJobNames(const CliOptions& options, std::string* error);
