// The CSV log's file over Win32: a session opens the file with read and
// append access, shared with other stations, and takes the byte lock every
// writer of the log takes; a handle another program opened without sharing
// is reported as held.
#pragma once

#include <memory>
#include <string>

#include "ledger/log_file.h"

std::unique_ptr<LogFile> NewWin32LogFile(const std::u16string& path);
// The same file for a reader: opened only when it exists, read-only and
// unlocked; Append refuses.
std::unique_ptr<LogFile> NewWin32LogFileForReading(const std::u16string& path);
