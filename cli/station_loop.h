// The station: round after round until N successes, Ctrl+C or a day without
// a probe coming or going. A round is one probe (write-serial, update,
// run JOB) or one tray (--probe all); the loop around it, its stops and its
// closing line are the same for both.
#pragma once

#include "cli/console_io.h"
#include "cli/presence_wait.h"

struct RoundResult {
  int successes = 0;
  int failures = 0;
  // No later round could go differently: the run ends with status.
  bool stop = false;
  int status = 0;
};

class StationRound {
 public:
  virtual ~StationRound() = default;
  // Before the wait for the round's probes (a number claimed); false ends
  // the run with *status.
  virtual bool Prepare(int* status) = 0;
  // Waits until the round's probes are there. successes so far, of wanted
  // (0: until stopped).
  virtual Waited WaitForProbes(int successes, int wanted) = 0;
  // The run ended in that wait: what Prepare took goes back; the run's status
  // becomes *status (74 when that could not be recorded).
  virtual void GiveBack(Waited why, int* status) = 0;
  // Runs the round; left: successes still wanted (0: any number).
  virtual RoundResult Run(int left) = 0;
  virtual Waited WaitForRemoval() = 0;
  // What follows the station's closing line ("next: ...").
  virtual void Finish() = 0;
  // What the round waits between: "probes" or "trays".
  virtual const char* Between() const = 0;
};

// Returns the run's exit status.
int RunStationLoop(ConsoleIo& io, int wanted, StationRound& round);
