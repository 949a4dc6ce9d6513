// The bar is redrawn only when its phase or percent changes, so a fast phase
// does not spend its time writing to the console.
#include "cli/progress_text.h"

#include <cstdio>

namespace {

constexpr int kBarWidth = 30;
constexpr size_t kPhaseWidth = 8;

}  // namespace

std::string ProgressBarLine(const std::string& phase, int percent) {
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  const int filled = percent * kBarWidth / 100;
  std::string line = phase;
  if (line.size() < kPhaseWidth) line.resize(kPhaseWidth, ' ');
  // Appended piece by piece: GCC 12 warns of an overlap in a chain of + here.
  line += " [";
  line.append(filled, '#');
  line.append(kBarWidth - filled, '.');
  line += "] ";
  char number[8];
  std::snprintf(number, sizeof number, "%3d%%", percent);
  line += number;
  return line;
}

void ProgressText::Show(const std::string& phase, long position, long range) {
  if (style_ == Style::kNone) return;
  const int percent = range > 0 ? static_cast<int>(position * 100 / range) : 0;
  if (style_ == Style::kLines) {
    if (phase != phase_) io_.Err(phase + "...\n");
    phase_ = phase;
    return;
  }
  if (phase == phase_ && percent == percent_) return;
  phase_ = phase;
  percent_ = percent;
  std::string text = "\r";
  text += ProgressBarLine(phase, percent);
  io_.Err(text);
  barDrawn_ = true;
}

void ProgressText::End() {
  if (barDrawn_) io_.Err("\n");
  barDrawn_ = false;
  phase_.clear();
  percent_ = -1;
}
