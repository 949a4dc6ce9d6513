// Looks at probes without changing them: what `list` shows of one device
// path (firmware version and, when that version allows serial-number work,
// serial number), the search for the probe holding one serial number, and a
// probe's version as it answers now. Each opens a probe and closes it again.
#pragma once

#include <cstdint>
#include <string>

#include "common/probe_choice.h"
#include "probe/probe_link.h"

enum class SurveyedSerial {
  kNotRead,    // the version could not be read, so nothing was tried
  kRead,       // serial holds it
  kTooOld,     // the firmware is too old for serial-number work
  kUnreadable  // the version allows it, but the serial-number reply failed
};

struct ProbeSurvey {
  int index = 0;
  uint8_t version = 0;           // bit 7 cleared; valid when versionRead
  char16_t versionText[4] = {};  // such as 2.2
  bool versionRead = false;
  SurveyedSerial serialState = SurveyedSerial::kNotRead;
  std::u16string serial;
};

// 0: the probe at index answered. 1: nothing opens there. Any other result
// code: it opened but a reply failed (the fields read so far are kept). The
// probe is closed on every path.
int SurveyProbe(ProbeLink& link, int index, ProbeSurvey* survey);

// The device index of the one attached probe whose stored serial number is
// exactly serial (case and blanks count): 0 with *index set; 1 when no probe
// holds it (a probe too old for serial numbers holds none); 2 when two or
// more do, or when a probe opened but did not answer (its version or serial
// number reply failed): it might hold it, so no choice is proven, and
// *silent is its index.
int FindProbeBySerial(ProbeLink& link, const std::u16string& serial, int* index, int* silent);

// Opens the chosen probe, reads its firmware version and closes it again:
// 0 with *version (bit 7 cleared), or the result code of the open or the read.
int ReadVersionAt(ProbeLink& link, const ProbeChoice& choice, uint8_t* version);
