// What `list` shows of one device path: whether a probe opens there, its
// firmware version and, when that version allows serial-number work, its
// serial number. The probe is opened at that path only and closed again.
#pragma once

#include <cstdint>
#include <string>

struct ProbeSurvey {
  int index = 0;
  uint8_t version = 0;           // bit 7 cleared; valid when versionRead
  char16_t versionText[4] = {};  // such as 2.2
  bool versionRead = false;
  bool serialRead = false;  // false: the version is below 2.2, or a failure
  std::u16string serial;
};

// 0: the probe at index answered. 1: nothing opens there. Any other result
// code: it opened but a reply failed (the fields read so far are kept). The
// probe is closed on every path; the probe selection is left as
// it was.
int SurveyProbe(int index, ProbeSurvey* survey);
