// Verifying a probe against a firmware file without changing it: the file is
// checked and read as for an update, the probe's version is checked, and
// every unit of the image is read back and compared; no erase, no
// programming, no execute. A front-end runs it step by step, so it can show
// progress and stop between units.
#pragma once

#include <cstdint>
#include <string>

#include "common/probe_choice.h"

struct VerifyRun {
  int units = 0;             // transfer units of the image
  int verified = 0;          // units read back and found equal so far
  uint8_t probeVersion = 0;  // the probe's version value, bit 7 cleared
  char16_t versionText[4] = {};
};

// File checks (13, 14, 15, or kVerifyFileNotOpened), then opens the chosen
// probe and checks its version (1, 2, 3, 4, 6, 22). 0 leaves the probe open
// for the steps; any failure leaves it closed.
int BeginVerify(const std::u16string& path, VerifyRun* run, const ProbeChoice& choice = {});
// The same over the image already read, for a caller that checked the file
// itself.
int BeginVerifyOfImage(VerifyRun* run, const ProbeChoice& choice = {});
// Reads back and compares the next unit: 0, or 3, 4, 18 or 19.
int VerifyNextStep(VerifyRun* run);
// Whether every unit has been verified.
bool VerifyDone(const VerifyRun& run);
// Closes the probe after the last step: 0, or 5.
int EndVerify();
// Closes the probe, if open, after a failed step or a stop; a failed close
// is not reported, the reason for stopping stands.
void AbandonVerify();

// Not a result code: the file exists but could not be opened or read (the
// reader's kFirmwareFileNotOpened).
inline constexpr int kVerifyFileNotOpened = -1;
