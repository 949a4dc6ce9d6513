// One look at one device path, for listing the attached probes. Reading the
// serial number is left out for a probe too old for serial-number work, as
// READ would refuse it.
#include "probe/probe_survey.h"

#include "probe/commands.h"
#include "probe/operations.h"
#include "probe/transport.h"

namespace {

constexpr uint8_t kVersionFlagBit = 0x80;
// The version byte is the seventh body byte of the version reply.
constexpr uint32_t kVersionByteIndex = 6;
constexpr uint8_t kSerialMinimumVersion = 0x22;

char16_t HexDigit(uint8_t value) {
  return static_cast<char16_t>(value < 10 ? 0x30 + value : 0x37 + value);
}

int ReadSurveyVersion(ProbeSurvey* survey) {
  ProbeReply reply;
  if (const int code = ReadVersionCommand(reply); code != 0) return code;
  if (LongReplyBodyLength(reply) <= kVersionByteIndex || reply.bytes[0] != kCmdReadVersion)
    return kResultVersionReply;
  const uint8_t version = reply.bytes[kVersionByteIndex] & static_cast<uint8_t>(~kVersionFlagBit);
  survey->version = version;
  survey->versionText[0] = static_cast<char16_t>(0x30 + (version >> 4));
  survey->versionText[1] = u'.';
  survey->versionText[2] = HexDigit(version & 0x0F);
  survey->versionText[3] = 0;
  survey->versionRead = true;
  return 0;
}

int SurveyOpenProbe(ProbeSurvey* survey) {
  if (const int code = ReadSurveyVersion(survey); code != 0) return code;
  if (survey->version < kSerialMinimumVersion) return 0;
  char16_t serial[kSerialBufferUnits] = {};
  if (const int code = FetchSerialNumber(serial); code != 0) return code;
  survey->serial = serial;
  survey->serialRead = true;
  return 0;
}

}  // namespace

int SurveyProbe(int index, ProbeSurvey* survey) {
  *survey = ProbeSurvey{};
  survey->index = index;
  // A look at one path must not change which probe the operations use.
  const int selected = SelectedProbeIndex();
  SelectProbeIndex(index);
  const int opened = OpenProbe();
  SelectProbeIndex(selected);
  if (opened != 0) return opened;
  const int code = SurveyOpenProbe(survey);
  if (!CloseProbe() && code == 0) return kResultCloseFailed;
  return code;
}
