// The waits of a station between probes: polled at a fixed period on the
// console's wait, so the native tests drive them by attaching and detaching
// in-process probes between waits, and Ctrl+C ends them at once.
#pragma once

#include <string>

#include "cli/console_io.h"
#include "common/probe_protocol.h"

inline constexpr unsigned kPresencePollMs = 250;
// An unattended station ends after this long without a probe coming or going.
inline constexpr unsigned kLongestIdleMs = 24u * 60 * 60 * 1000;

enum class Waited { kReady, kInterrupted, kIdle };

template <typename Ready>
Waited WaitUntil(ConsoleIo& io, Ready ready) {
  for (unsigned waited = 0;; waited += kPresencePollMs) {
    // Ctrl+C first: a probe attached at the same moment is not started.
    if (io.Interrupted()) return Waited::kInterrupted;
    if (ready()) return Waited::kReady;
    if (waited >= kLongestIdleMs) return Waited::kIdle;
    io.Wait(kPresencePollMs);
  }
}
