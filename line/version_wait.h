// The wait for a probe's version after its reset, polled on the program's
// own clock, so the console waits on its console, the window pumps its
// messages, and the native tests drive it on the emulated probe's clock.
// A probe that still answers its old version just after the execute
// request, before its reset, has not come back: an answer counts as after
// the reset only once the probe's device path was seen gone, or when it is
// the version expected.
#pragma once

#include <optional>
#include <string>

#include "probe/probe_link.h"

// What a wait needs from the program running it.
class LineClock {
 public:
  virtual ~LineClock() = default;
  virtual double Seconds() = 0;
  // Waits up to ms (the window keeps its messages moving meanwhile).
  virtual void Wait(unsigned ms) = 0;
  // Ctrl+C, or the window closing: the wait ends at once.
  virtual bool Interrupted() = 0;
};

struct VersionWait {
  // 0: the expected version; kVersionNeverAnswered; kVersionOther;
  // kLineInterrupted.
  int status = 0;
  // The version last answered after the reset, such as 2.3.
  std::optional<std::string> seen;
  // One line for the operator when status is not 0 (none after Ctrl+C).
  std::string message;
};

// Watches the probe at index (kAnyProbeIndex: the one attached probe), over
// the link, opened and closed again at each look, for
// the version expected (X.Y), for at most timeoutSeconds. versionBefore: the
// version the probe answered before the update, for a wait that may begin
// after the reset is over (the window's begins once the operator has
// answered its boxes): an answer other than it counts as after the reset
// too, so a probe back with another version ends with kVersionOther.
VersionWait WaitForProbeVersion(ProbeLink& link, int index, const std::string& expected,
                                int timeoutSeconds, LineClock& clock,
                                const std::optional<std::string>& versionBefore = std::nullopt);
