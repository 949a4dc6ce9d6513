// What a tray run reports once its probes are done: the exit status, one
// line per probe in index order and the summary naming every failure. Kept
// apart from the threads so the rules are tested on their own.
#pragma once

#include <optional>
#include <string>
#include <vector>

// One probe's outcome: its device index, the serial number it was given or
// read (none for update and verify), its exit status and message.
struct TrayOutcome {
  int index = 0;
  std::optional<std::string> serial;
  int result = 0;
  std::string message;
};

// 0 when every probe succeeded; otherwise the status of the lowest-indexed
// probe that failed, whatever the order outcomes come in; 1 (no probe) for an
// empty tray.
int TrayExitStatus(const std::vector<TrayOutcome>& outcomes);

// "INDEX [SERIAL] RESULT" per probe in index order; withSerial puts the
// serial number (or - when there is none) between them.
std::string TrayLines(const std::vector<TrayOutcome>& outcomes, bool withSerial);

// "Tray: N probes, S succeeded, F failed." then one line per failed probe in
// index order: "failed INDEX [SERIAL] RESULT: MESSAGE".
std::string TraySummary(const std::vector<TrayOutcome>& outcomes, bool withSerial);
