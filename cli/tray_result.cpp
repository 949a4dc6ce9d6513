// The tray's result rules: the lowest index decides, so a script reading the
// exit status sees the same probe a person reading the lines sees first.
#include "cli/tray_result.h"

#include <algorithm>

#include "common/result_codes.h"

namespace {

std::vector<TrayOutcome> InIndexOrder(std::vector<TrayOutcome> outcomes) {
  std::stable_sort(outcomes.begin(), outcomes.end(),
                   [](const TrayOutcome& a, const TrayOutcome& b) { return a.index < b.index; });
  return outcomes;
}

// Appended piece by piece: GCC 12 warns of an overlap in a chain of + here.
std::string Line(const TrayOutcome& outcome, bool withSerial) {
  std::string line = std::to_string(outcome.index);
  if (withSerial) {
    line += ' ';
    line += outcome.serial.value_or("-");
  }
  line += ' ';
  line += std::to_string(outcome.result);
  return line;
}

std::string Count(size_t count, const char* word) {
  return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

}  // namespace

int TrayExitStatus(const std::vector<TrayOutcome>& outcomes) {
  if (outcomes.empty()) return kResultNoProbe;
  for (const TrayOutcome& outcome : InIndexOrder(outcomes)) {
    if (outcome.result != kResultOk) return outcome.result;
  }
  return kResultOk;
}

std::string TrayLines(const std::vector<TrayOutcome>& outcomes, bool withSerial) {
  std::string text;
  for (const TrayOutcome& outcome : InIndexOrder(outcomes))
    text += Line(outcome, withSerial) + "\n";
  return text;
}

std::string TraySummary(const std::vector<TrayOutcome>& outcomes, bool withSerial) {
  const size_t failed = static_cast<size_t>(
      std::count_if(outcomes.begin(), outcomes.end(),
                    [](const TrayOutcome& outcome) { return outcome.result != kResultOk; }));
  std::string text = "Tray: " + Count(outcomes.size(), "probe") + ", " +
                     std::to_string(outcomes.size() - failed) + " succeeded, " +
                     std::to_string(failed) + " failed.\n";
  for (const TrayOutcome& outcome : InIndexOrder(outcomes)) {
    if (outcome.result == kResultOk) continue;
    text += "failed " + Line(outcome, withSerial) + ": " + outcome.message + "\n";
  }
  return text;
}
