// Looks at one device path, or at every one, for listing the attached probes
// and for choosing one by its serial number. Reading the serial number is
// left out for a probe too old for serial-number work, as READ would refuse
// it.
#include "probe/probe_survey.h"

#include "probe/discovery.h"
#include "probe/operations.h"
#include "probe/transport.h"

namespace {

int SurveyOpenProbe(ProbeLink& link, ProbeSurvey* survey) {
  if (const int code = ReadProbeVersion(link, &survey->version); code != 0) return code;
  FormatProbeVersion(survey->version, survey->versionText);
  survey->versionRead = true;
  if (survey->version < kSerialMinimumVersion) {
    survey->serialState = SurveyedSerial::kTooOld;
    return 0;
  }
  char16_t serial[kSerialBufferUnits] = {};
  if (const int code = FetchSerialNumber(link, serial); code != 0) {
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
int LookAt(ProbeLink& link, const ProbeChoice& choice, Look look) {
  if (const int opened = OpenProbe(link, choice); opened != 0) return opened;
  const int code = look();
  if (!CloseProbe(link) && code == 0) return kResultCloseFailed;
  return code;
}

}  // namespace

int SurveyProbe(ProbeLink& link, int index, ProbeSurvey* survey) {
  *survey = ProbeSurvey{};
  survey->index = index;
  return LookAt(link, ProbeChoice{index}, [&] { return SurveyOpenProbe(link, survey); });
}

int FindProbeBySerial(ProbeLink& link, const std::u16string& serial, int* index, int* silent) {
  int found = 0;
  *silent = -1;
  for (int each = 0; each < kDeviceIndices && found < 2; ++each) {
    ProbeSurvey survey;
    const int code = SurveyProbe(link, each, &survey);
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

int ReadVersionAt(ProbeLink& link, const ProbeChoice& choice, uint8_t* version) {
  return LookAt(link, choice, [&] { return ReadProbeVersion(link, version); });
}
