// What a log value names (--log, a job's `log`): the line's database
// ("odbc:" in any case, blanks before and after it, then its connection
// string) or a CSV log file. A value that holds a connection string's keys
// but does not name the database is neither: taken as a file name it would
// bypass the database's pool and put the password into a file's name, so
// every reader of a log value refuses it.
#pragma once

#include <string>

enum class LogKind {
  kFile,
  kDatabase,
  // Driver=, DSN= or Pwd= (any case) without the prefix: refused.
  kUnmarkedConnection,
};

struct LogTarget {
  LogKind kind = LogKind::kFile;
  // The file's path as given, or the connection string after the prefix,
  // its blanks trimmed (UTF-8).
  std::string connection;
  // For messages, boxes, records and JSON: the file's path, or the value
  // with every password masked.
  std::string shown;
};

// The one reading of a log value, for every program and every store.
LogTarget ParseLogTarget(const std::string& logValue);
LogTarget ParseLogTarget(const std::u16string& logValue);

// Why the store a log value names cannot be used, for a message: a
// database's reason, which names its server, with the connection string's
// secrets hidden; or the file's path with the store's reason.
std::string StoreFailureText(const LogTarget& target, const std::string& error);

// Why an unmarked connection string is refused, after the name of what held
// it ("--log" or "log").
inline constexpr char kUnmarkedConnectionWhy[] =
    " holds a connection string (Driver=, DSN= or Pwd=) but does not start with odbc:";
