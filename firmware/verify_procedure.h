// Verifying a probe against a firmware file without changing it: over the
// image read as for an update, the probe's version is checked and every unit
// is read back and compared; no erase, no programming, no execute. A front-end runs it step by
// step, so it can show progress and stop between units.
#pragma once

#include <cstdint>
#include <functional>

#include "common/probe_choice.h"

struct ProbeSession;

struct VerifyRun {
  int units = 0;             // transfer units of the image
  int verified = 0;          // units read back and found equal so far
  uint8_t probeVersion = 0;  // the probe's version value, bit 7 cleared
  char16_t versionText[4] = {};
};

// Over the session's image as the file checks left it (CheckFirmwareFile
// returned 0): opens the chosen probe on the session's link and checks its
// version (1, 2, 3, 4, 6, 22). 0 leaves the probe open for the steps and the
// cursor rewound; any failure leaves it closed.
int BeginVerify(ProbeSession& session, VerifyRun* run, const ProbeChoice& choice = {});
// Reads back and compares the next unit: 0, or 3, 4, 18 or 19.
int VerifyNextStep(ProbeSession& session, VerifyRun* run);
// Whether every unit has been verified.
bool VerifyDone(const VerifyRun& run);
// Closes the probe after the last step: 0, or 5.
int EndVerify(ProbeSession& session);
// Closes the probe, if open, after a failed step or a stop; a failed close
// is not reported, the reason for stopping stands.
void AbandonVerify(ProbeSession& session);

// The whole read-back in one call, for a front-end that only counts and may
// stop between units: BeginVerify, each step (progress(verified, units)
// after it), then EndVerify. 0 when every unit matched, the probe closed
// again; the first failure (19: a unit differs), the probe closed; or
// kVerifyStopped when stopped() said so, the probe closed.
inline constexpr int kVerifyStopped = -1;
int ReadBackWhole(ProbeSession& session, VerifyRun* run, const ProbeChoice& choice,
                  const std::function<bool()>& stopped,
                  const std::function<void(int verified, int units)>& progress);
