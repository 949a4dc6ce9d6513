// Looks at one device path, or at every one, for listing the attached probes
// and for choosing one by its serial number. Reading the serial number is
// left out for a probe too old for serial-number work, as READ would refuse
// it.
#include "probe/probe_survey.h"

#include "probe/discovery.h"
#include "probe/operations.h"
#include "probe/transport.h"

namespace {

int SurveyOpenProbe(ProbeSurvey* survey) {
  if (const int code = ReadProbeVersion(&survey->version); code != 0) return code;
  FormatProbeVersion(survey->version, survey->versionText);
  survey->versionRead = true;
  if (survey->version < kSerialMinimumVersion) {
    survey->serialState = SurveyedSerial::kTooOld;
    return 0;
  }
  char16_t serial[kSerialBufferUnits] = {};
  if (const int code = FetchSerialNumber(serial); code != 0) {
    survey->serialState = SurveyedSerial::kUnreadable;
    return code;
  }
  survey->serial = serial;
  survey->serialState = SurveyedSerial::kRead;
  return 0;
}

// Opens the chosen probe, runs the look, closes it; a failed close counts
// only when the look itself succeeded.
template <typename Look>
int LookAt(const ProbeChoice& choice, Look look) {
  if (const int opened = OpenProbe(choice); opened != 0) return opened;
  const int code = look();
  if (!CloseProbe() && code == 0) return kResultCloseFailed;
  return code;
}

}  // namespace

int SurveyProbe(int index, ProbeSurvey* survey) {
  *survey = ProbeSurvey{};
  survey->index = index;
  return LookAt(ProbeChoice{index}, [&] { return SurveyOpenProbe(survey); });
}

int FindProbeBySerial(const std::u16string& serial, int* index, int* silent) {
  int found = 0;
  *silent = -1;
  for (int each = 0; each < kDeviceIndices && found < 2; ++each) {
    ProbeSurvey survey;
    const int code = SurveyProbe(each, &survey);
    if (code == kResultNoProbe) continue;
    if (code != kResultOk && survey.serialState != SurveyedSerial::kTooOld) {
      *silent = each;
      return kResultSeveralProbes;
    }
    if (survey.serialState != SurveyedSerial::kRead || survey.serial != serial) continue;
    if (found++ == 0) *index = each;
  }
  if (found == 0) return kResultNoProbe;
  return found == 1 ? kResultOk : kResultSeveralProbes;
}

int ReadVersionAt(const ProbeChoice& choice, uint8_t* version) {
  return LookAt(choice, [&] { return ReadProbeVersion(version); });
}
