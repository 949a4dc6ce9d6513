// What the console program needs from its process: the two output streams,
// the operator's typed answers, Ctrl+C, a clock and the log file. The Win32
// edge implements it over the console; the native tests with a script.
#pragma once

#include <memory>
#include <optional>
#include <string>

class ConsoleIo {
 public:
  virtual ~ConsoleIo() = default;
  // UTF-8 text, written as it comes.
  virtual void Out(const std::string& text) = 0;
  virtual void Err(const std::string& text) = 0;
  // Whether a person can answer (standard input is a console), and whether
  // standard error shows a bar (it is a console too).
  virtual bool InputIsConsole() = 0;
  virtual bool ErrorIsConsole() = 0;
  // One typed line without its line end; nullopt at the end of input.
  virtual std::optional<std::string> ReadLine() = 0;
  // Ctrl+C was pressed.
  virtual bool Interrupted() = 0;
  // Waits, returning early on Ctrl+C.
  virtual void Wait(unsigned ms) = 0;
  // Seconds on a steady clock, and the time of day as ISO 8601 UTC with Z.
  virtual double Seconds() = 0;
  virtual std::string TimeUtc() = 0;
};

// The log file, open for appending, perhaps by several programs at once.
// Append writes the line whole at the end, with the header in front when the
// file is empty at that moment, and flushes it to disk before it returns;
// no other program's line lands inside it.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual bool Append(const std::string& header, const std::string& line) = 0;
  // What the file holds now, as far as it is written; false with a reason
  // when it cannot be read.
  virtual bool ReadAll(std::string* text, std::string* error) = 0;
};

class LogOpener {
 public:
  virtual ~LogOpener() = default;
  // nullptr with a reason in *error when the file cannot be opened for
  // appending.
  virtual std::unique_ptr<LogSink> Open(const std::u16string& path, std::string* error) = 0;
};
