// report's options on the command line: the window of time, the page and
// how often it is written again, and the job whose records alone count.
#pragma once

#include <string>

#include "cli/cli_options.h"

// Whether word is one of report's options (each takes a value).
bool IsReportOption(const std::string& word);
// Takes the option's value; false with a one-line reason on a bad one.
bool ParseReportOption(const std::string& word, const std::u16string& value, CliOptions* options,
                       std::string* error);
// report's options given to another command, or report without its store.
bool CheckReportOptionsFit(const CliOptions& options, bool probeGiven, std::string* error);
