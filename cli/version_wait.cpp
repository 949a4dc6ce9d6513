// The wait for the probe's version after its reset, polled on the console's
// clock so the native tests drive it on the emulated probe's.
#include "cli/version_wait.h"

#include <optional>
#include <string>

#include "cli/runner_support.h"
#include "common/result_codes.h"
#include "probe/probe_survey.h"

namespace {

// Between two looks at the probe; a look at a probe away for its reset costs
// only the open that fails.
constexpr unsigned kVersionPollMs = 250;

}  // namespace

void WaitForVersion(RunContext& context, int index, OperationRecord& record) {
  const std::string& expected = *context.options.expectVersion;
  const int seconds = context.options.resetTimeoutSeconds;
  const std::string within = std::to_string(seconds) + " s";
  context.progress.End();
  context.io.Err("Waiting up to " + within + " for the probe to answer version " + expected +
                 "...\n");
  const double deadline = context.io.Seconds() + seconds;
  std::optional<std::string> seen;
  for (;;) {
    if (context.io.Interrupted()) return;  // FinishRecord reports the stop
    uint8_t version = 0;
    if (ReadVersionAt(ProbeChoice{index}, &version) == kResultOk) {
      seen = VersionText(version);
      if (*seen == expected) break;
    }
    if (context.io.Seconds() >= deadline) break;
    context.io.Wait(kVersionPollMs);
  }
  record.firmwareAfter = seen;
  if (seen == expected) {
    context.io.Err("The probe answers version " + expected + ".\n");
    return;
  }
  record.result = seen ? kExitOtherVersion : kExitNeverAnswered;
  record.message = seen ? "The probe answered version " + *seen + ", not " + expected +
                              ", within " + within + " after the reset."
                        : "The probe did not answer within " + within +
                              " after the reset (version " + expected + " expected).";
  context.io.Err("ERROR: " + record.message + "\n");
}
