// Times as the log writes them: ISO 8601 UTC to the second with a Z
// ("2026-12-09T06:00:00Z"). Of one form and length, such texts compare in
// time order as plain strings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

bool IsUtcTime(std::string_view text);

// A limit given as such a time, or as a date (YYYY-MM-DD), which stands for
// its last second, so a limit of a day includes all of it. false for
// anything else.
bool ParseUtcLimit(std::string_view value, std::string* limit);

// Such a time of its parts (the system clock's, in UTC).
std::string FormatUtcTime(unsigned year, unsigned month, unsigned day, unsigned hour,
                          unsigned minute, unsigned second);

// The UTC time now in milliseconds since 1970; such a time of a moment so
// given; and of now.
int64_t UtcNowMs();
std::string UtcTextOf(int64_t ms);
std::string UtcTextNow();
