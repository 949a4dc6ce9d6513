// Each look opens the probe, asks its version and closes it again; a look at
// a probe away for its reset costs only the open that fails.
#include "line/version_wait.h"

#include "common/result_codes.h"
#include "line/line_status.h"
#include "probe/operations.h"
#include "probe/probe_survey.h"

namespace {

constexpr unsigned kVersionPollMs = 250;

}  // namespace

VersionWait WaitForProbeVersion(ProbeLink& link, int index, const std::string& expected,
                                int timeoutSeconds, LineClock& clock,
                                const std::optional<std::string>& versionBefore) {
  VersionWait wait;
  const std::string within = std::to_string(timeoutSeconds) + " s";
  const double deadline = clock.Seconds() + timeoutSeconds;
  bool sawGone = false;
  std::optional<std::string> before;  // answered while not yet seen gone
  for (;;) {
    if (clock.Interrupted()) {
      wait.status = kLineInterrupted;
      return wait;
    }
    uint8_t version = 0;
    const int code = ReadVersionAt(link, ProbeChoice{index}, &version);
    if (code == kResultOk) {
      const std::string answered = ProbeVersionText(version);
      if (answered == expected) {
        wait.seen = answered;
        return wait;
      }
      const bool afterReset = sawGone || (versionBefore && answered != *versionBefore);
      (afterReset ? wait.seen : before) = answered;
    } else if (code == kResultNoProbe) {
      sawGone = true;
    }
    if (clock.Seconds() >= deadline) break;
    clock.Wait(kVersionPollMs);
  }
  if (wait.seen) {
    wait.status = kVersionOther;
    wait.message = "The probe came back after its reset with version " + *wait.seen + ", not " +
                   expected + " (waited " + within + ").";
  } else if (before && !sawGone) {
    wait.status = kVersionNeverAnswered;
    wait.message = "The probe was not seen to reset within " + within + ": it still answers " +
                   *before + " from before its reset (version " + expected + " expected).";
  } else {
    wait.status = kVersionNeverAnswered;
    wait.message = "The probe did not answer within " + within + " after the reset (version " +
                   expected + " expected).";
  }
  return wait;
}
