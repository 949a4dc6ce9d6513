// What the runners share: turning what the console window saw into the
// record's result and message, the choice of the probe, the console's checks
// of the firmware file, and the texts the catalogue has no entry for.
#pragma once

#include <optional>
#include <string>

#include "cli/console_window.h"
#include "cli/runners.h"
#include "probe/probe_link.h"

inline constexpr char kDeclinedText[] = "Cancelled: nothing was changed.";

// The frame every probe command's runner shares: its clock, its console
// window and its record (the command and the --probe index), and at its end
// the window's outcome taken into the record, the probe it opened noted, and
// the record finished and emitted.
class RunnerFrame {
 public:
  explicit RunnerFrame(RunContext& context, const char* answeredBy = nullptr, bool countUp = false);
  ConsoleWindow& window() { return window_; }
  OperationRecord& record() { return record_; }
  // The window's first failure, a declined question or its last message
  // into the record; the device index it opened into the context.
  void TakeOutcome();
  // finished: the operation ran to its end, so a Ctrl+C meanwhile stopped
  // nothing. Returns the record's result, the exit status.
  int Finish(bool finished = false);

 private:
  RunContext& context_;
  double started_;
  ConsoleWindow window_;
  OperationRecord record_;
};

// Result and message from the window: its first failure, a declined
// question, or success with the last message it showed.
void TakeOutcome(const ConsoleWindow& window, ConsoleIo& io, OperationRecord& record);
// A failure of the firmware file itself: no probe can help it.
bool IsFileFailure(int code);

// --resume: *number becomes the one after the highest number of its series
// the log holds (said on standard error), or stays as it is when the log
// holds none. false with *error when the log could not be read.
bool ResumeFromLog(ConsoleIo& io, Ledger& ledger, std::u16string* number, std::string* error);

// "next: " and the number to go on from, or, when counting up from `from`
// ends (all nines, no trailing digits), no number and why; with its line end.
std::string NextLine(const std::string& from, const std::optional<std::string>& next);

// Tells the window which probe to open: --probe N, the one holding
// --probe-serial TEXT (each attached probe is asked), or exactly one. 0, or
// 1 (none holds TEXT) or 2 (two or more do), reported through the window.
int ChooseProbe(ProbeLink& link, const CliOptions& options, ConsoleWindow& window);

// What no probe can change, for a station or a tray: a run whose input (the serial
// number's text, the firmware file and its pin) fails runs once, reporting
// as a single run does, and waits for no probe. A line job's image was
// pinned before its run started.
bool InputPasses(const CliOptions& options, const std::u16string& number);

// The firmware file as the console checks it before any probe is touched:
// the window's checks in their order (a file over the reader's limit in
// words of its own), then the image's figures into the record, then the
// --expect-crc32 pin (26). 0 leaves the image read into the context's
// session. warn: say on standard
// error what the reader lets pass (no end record, overlapping records with
// different data).
int CheckFileForConsole(RunContext& context, ConsoleWindow& window, OperationRecord& record,
                        bool warn);
