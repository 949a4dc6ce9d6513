// The lines the emulator takes on its standard input while it serves:
// "unplug N" and "plug N" pull and put back the cable of the probe at device
// index N, "reset N" presses its reset switch, "quit" ends it. Portable, so its tests run natively
// too.
#pragma once

#include <string>
#include <string_view>

struct ConsoleCommand {
  enum Kind { kNone, kUnplug, kPlug, kReset, kQuit, kMistake } kind = kNone;
  int index = -1;     // kUnplug, kPlug, kReset: the device index
  std::string error;  // kMistake: a one-line reason
};

// One line, without or with its line end; a blank line is kNone.
ConsoleCommand ParseConsoleLine(std::string_view line);

// Splits what arrives on standard input into lines, whatever the chunks.
class ConsoleLines {
 public:
  void Add(std::string_view chunk) { pending_.append(chunk); }
  // Takes the next whole line (its line end removed); false when none is
  // complete yet.
  bool Next(std::string* line);
  // What is left after the input ended, as a last line.
  std::string Rest();

 private:
  std::string pending_;
};
