// What the console program needs from its process: the two output streams,
// the operator's typed answers, Ctrl+C and a clock. The Win32
// edge implements it over the console; the native tests with a script.
#pragma once

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
  // Standard error is a console that takes the sequences that move its
  // cursor, so a block of lines can be redrawn in place.
  virtual bool ErrorRedraws() { return false; }
  // One typed line without its line end; nullopt at the end of input.
  virtual std::optional<std::string> ReadLine() = 0;
  // Ctrl+C was pressed.
  virtual bool Interrupted() = 0;
  // Waits, returning early on Ctrl+C.
  virtual void Wait(unsigned ms) = 0;
  // Seconds on a steady clock, and the time of day as ISO 8601 UTC with Z.
  virtual double Seconds() = 0;
  virtual std::string TimeUtc() = 0;
  // A write to standard output failed since the start (a full disk, a
  // closed pipe): the run must not end as a success.
  virtual bool OutputFailed() { return false; }
  // Takes the device index for this program until it ends, so two programs
  // given the same --probe N never work on one probe at once: false, at
  // once, while another program holds it. Without such programs around (a
  // test in one process) every index is this program's.
  virtual bool HoldDevice(int /*index*/) { return true; }
};
