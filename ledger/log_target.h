// What a --log value names: the line's database ("odbc:" in any case, after
// any blanks, then its connection string) or a CSV log file. A value that
// holds a connection string's keys but does not name the database is neither:
// taken as a file name it would bypass the database's pool and put the
// password into a file's name.
#pragma once

#include <optional>
#include <string>

// The connection string when the value names the database; nullopt for a
// file's path.
std::optional<std::u16string> DatabaseConnectionOf(const std::u16string& logValue);
// Whether the value holds Driver=, DSN= or Pwd= (any case).
bool HoldsConnectionKeys(const std::u16string& logValue);
