// Whether two names are one file, by what the file system says of it (on
// Windows the volume's serial number and the file's index), not by their
// spelling: L.CSV, dir\..\l.csv, a mapped drive's Z:\... and a hard link
// all name the one log.
#pragma once

#include <filesystem>

// false when either is missing or cannot be asked.
bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b);
