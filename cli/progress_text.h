// Progress on standard error: a bar with the phase and percent, redrawn in
// place, when standard error is a console; otherwise one line per phase.
#pragma once

#include <string>

#include "cli/console_io.h"

class ProgressText {
 public:
  enum class Style { kNone, kBar, kLines };
  ProgressText(ConsoleIo& io, Style style) : io_(io), style_(style) {}

  void Show(const std::string& phase, long position, long range);
  // Ends a bar's line, so a message that follows starts on its own.
  void End();

 private:
  ConsoleIo& io_;
  Style style_;
  std::string phase_;
  int percent_ = -1;
  bool barDrawn_ = false;
};

// The bar line for a phase and percent (no carriage return).
std::string ProgressBarLine(const std::string& phase, int percent);
