// The operations the window's procedures call: the three button operations,
// each opening and closing the probe, and the steps of the firmware update.
// Every reply is judged only by the bytes that reply actually carried.
#include "probe/operations.h"

#include <algorithm>
#include <string>

#include "probe/commands.h"
#include "probe/discovery.h"
#include "probe/transport.h"

namespace {

// The version byte is the seventh body byte of the version reply.
constexpr uint32_t kVersionByteIndex = 6;
constexpr uint8_t kUpdateRefusedUpTo = 0x10;
constexpr uint8_t kLargeRequestsFromVersion = 0x22;
constexpr uint32_t kSmallFlashRequestBytes = 128;
constexpr uint32_t kLargeFlashRequestBytes = 1024;
// Echoed code, then the 16-bit character count.
constexpr uint32_t kSerialHeaderBytes = 3;
constexpr uint32_t kEraseReplyBytes = 5;
constexpr char16_t kLowestSerialUnit = 0x20;
constexpr char16_t kHighestSerialUnit = 0x7E;

bool StatusIsOk(const ProbeReply& reply) {
  return reply.count == 1 && reply.bytes[0] == kStatusOk;
}

// The body begins with the code of the command it answers.
bool BodyEchoes(const ProbeReply& reply, uint8_t command) {
  return LongReplyBodyLength(reply) >= 1 && reply.bytes[0] == command;
}

int Fail(int code, int* result) {
  if (result != nullptr) *result = code;
  return 1;
}

// Open, run the sub-steps, close; the first failing sub-step's code stands.
template <typename Steps>
int RunButtonOperation(ProbeLink& link, const ProbeChoice& choice, int* result, Steps steps) {
  const int opened = OpenProbe(link, choice);
  if (opened != 0) return Fail(opened, result);
  const int code = steps();
  if (code != 0) {
    if (IsProbeOpen(link)) CloseProbe(link);
    return Fail(code, result);
  }
  if (!CloseProbe(link)) return Fail(kResultCloseFailed, result);
  return 0;
}

char16_t HexDigit(uint8_t value) {
  return static_cast<char16_t>(value < 10 ? 0x30 + value : 0x37 + value);
}

}  // namespace

int ReadProbeVersion(ProbeLink& link, uint8_t* version) {
  ProbeReply reply;
  const int code = ReadVersionCommand(link, reply);
  if (code != 0) return code;
  if (!BodyEchoes(reply, kCmdReadVersion)) return kResultVersionReply;
  if (LongReplyBodyLength(reply) <= kVersionByteIndex) return kResultVersionReply;
  *version = reply.bytes[kVersionByteIndex] & static_cast<uint8_t>(~kVersionFlagBit);
  return 0;
}

void FormatProbeVersion(uint8_t version, char16_t text[4]) {
  text[0] = static_cast<char16_t>(0x30 + (version >> 4));
  text[1] = u'.';
  text[2] = HexDigit(version & 0x0F);
  text[3] = 0;
}

std::string ProbeVersionText(uint8_t version) {
  char16_t text[4] = {};
  FormatProbeVersion(version, text);
  return std::string(text, text + 3);
}

std::optional<uint8_t> ParseProbeVersion(std::string_view text) {
  // Bit 7 of the version byte is the probe's flag, never the version's.
  constexpr char kHighestMajor = static_cast<char>('0' + ((kVersionFlagBit - 1) >> 4));
  if (text.size() != 3 || text[0] < '0' || text[0] > kHighestMajor || text[1] != '.')
    return std::nullopt;
  const char minor = text[2];
  uint8_t low = 0;
  if (minor >= '0' && minor <= '9') {
    low = static_cast<uint8_t>(minor - '0');
  } else if (minor >= 'A' && minor <= 'F') {
    low = static_cast<uint8_t>(minor - 'A' + 10);
  } else if (minor >= 'a' && minor <= 'f') {
    low = static_cast<uint8_t>(minor - 'a' + 10);
  } else {
    return std::nullopt;
  }
  return static_cast<uint8_t>(((text[0] - '0') << 4) | low);
}

int CheckVersionForSerial(ProbeLink& link) {
  uint8_t version = 0;
  const int code = ReadProbeVersion(link, &version);
  if (code != 0) return code;
  return version < kSerialMinimumVersion ? kResultVersionTooOldForSerial : 0;
}

int CheckVersionForUpdate(ProbeLink& link, char16_t versionText[4]) {
  uint8_t version = 0;
  const int code = ReadProbeVersion(link, &version);
  if (code != 0) return code;
  if (version <= kUpdateRefusedUpTo) return kResultVersionTooOldForUpdate;
  link.version = version;
  FormatProbeVersion(version, versionText);
  return 0;
}

int FetchSerialNumber(ProbeLink& link, char16_t serial[kSerialBufferUnits]) {
  std::fill(serial, serial + kSerialBufferUnits, char16_t{0});
  ProbeReply reply;
  const int code = ReadSerialCommand(link, reply);
  if (code != 0) return code;
  if (!BodyEchoes(reply, kCmdReadSerial)) return kResultSerialReply;
  const uint32_t body = LongReplyBodyLength(reply);
  if (body < kSerialHeaderBytes) return kResultSerialReply;
  const uint32_t units = static_cast<uint32_t>(reply.bytes[1]) << 8 | reply.bytes[2];
  if (units > static_cast<uint32_t>(kMaxSerialUnits)) return kResultSerialTooLong;
  if (body < kSerialHeaderBytes + 2 * units) return kResultSerialReply;
  for (uint32_t i = 0; i < units; ++i) {
    const uint8_t* unit = reply.bytes + kSerialHeaderBytes + 2 * i;
    serial[i] = static_cast<char16_t>(unit[0] << 8 | unit[1]);
  }
  for (int i = 0; i < kSerialBufferUnits && serial[i] != 0; ++i) {
    if (serial[i] < kLowestSerialUnit || serial[i] > kHighestSerialUnit) {
      return kResultSerialNotAscii;
    }
  }
  return 0;
}

int StoreSerialNumber(ProbeLink& link, const char16_t* serial, bool* requestSent) {
  ProbeReply reply;
  if (requestSent != nullptr) *requestSent = true;
  const int code = WriteSerialCommand(link, reply, std::u16string_view(serial));
  if (code != 0) return code;
  return StatusIsOk(reply) ? 0 : kResultSerialWrite;
}

int CompareSerialNumber(const char16_t* readBack, const char16_t* written) {
  return std::u16string_view(readBack) == std::u16string_view(written) ? 0 : kResultSerialVerify;
}

int ReadProbeSerial(ProbeLink& link, char16_t serial[kSerialBufferUnits], int* result,
                    const ProbeChoice& choice) {
  return RunButtonOperation(link, choice, result, [&] {
    const int code = CheckVersionForSerial(link);
    return code != 0 ? code : FetchSerialNumber(link, serial);
  });
}

int WriteProbeSerial(ProbeLink& link, const char16_t* serial, int* result,
                     const ProbeChoice& choice, bool* requestSent) {
  if (requestSent != nullptr) *requestSent = false;
  return RunButtonOperation(link, choice, result, [&] {
    int code = CheckVersionForSerial(link);
    if (code == 0) code = StoreSerialNumber(link, serial, requestSent);
    char16_t readBack[kSerialBufferUnits];
    if (code == 0) code = FetchSerialNumber(link, readBack);
    if (code == 0) code = CompareSerialNumber(readBack, serial);
    return code;
  });
}

int CheckProbeForUpdate(ProbeLink& link, char16_t versionText[4], int* result,
                        const ProbeChoice& choice) {
  return RunButtonOperation(link, choice, result,
                            [&] { return CheckVersionForUpdate(link, versionText); });
}

int PollProbeErase(ProbeLink& link, int* result) {
  if (!IsProbeOpen(link)) return kEraseReceiveFailed;
  ProbeReply reply;
  const EraseCollect collected = CollectEraseReply(link, reply);
  if (collected == EraseCollect::kPending) return kErasePending;
  if (collected != EraseCollect::kArrived) return kEraseReceiveFailed;
  const bool erased = LongReplyBodyLength(reply) >= kEraseReplyBytes &&
                      reply.bytes[0] == kCmdEraseFlash && reply.bytes[1] == 0 &&
                      reply.bytes[2] == 0 && reply.bytes[3] == 0 && reply.bytes[4] == 0;
  return erased ? 0 : Fail(kResultErase, result);
}

int ProgramUnit(ProbeLink& link, uint32_t offset, const uint8_t* bytes, uint32_t length,
                int* result) {
  // The image never hands out more; refusing keeps the reads inside the unit.
  if (length > kMaxUnitTransferBytes) return Fail(kResultFlashWrite, result);
  const uint32_t requestBytes =
      link.version < kLargeRequestsFromVersion ? kSmallFlashRequestBytes : kLargeFlashRequestBytes;
  ProbeReply reply;
  for (uint32_t sent = 0; sent < length;) {
    const uint32_t n = std::min(requestBytes, length - sent);
    const int code = WriteFlashCommand(link, reply, offset + sent, bytes + sent, n);
    if (code != 0) return Fail(code, result);
    if (!StatusIsOk(reply)) return Fail(kResultFlashWrite, result);
    sent += n;
  }
  return 0;
}

int ReadBackUnit(ProbeLink& link, uint32_t readAddress, uint32_t length, uint8_t* data,
                 int* result) {
  if (length == 0 || length > kMaxUnitTransferBytes) return Fail(kResultFlashRead, result);
  ProbeReply reply;
  const int code = ReadFlashCommand(link, reply, readAddress, length);
  if (code != 0) return Fail(code, result);
  if (!BodyEchoes(reply, kCmdReadFlash)) return Fail(kResultFlashRead, result);
  // A body without all the unit's bytes cannot be compared.
  if (LongReplyBodyLength(reply) < length + 1) return Fail(kResultFlashRead, result);
  std::copy_n(reply.bytes + 1, length, data);
  return 0;
}

int ExecuteProbeUpdate(ProbeLink& link, int* result) {
  ProbeReply reply;
  const int code = ExecuteUpdateCommand(link, reply);
  if (code != 0) return Fail(code, result);
  return StatusIsOk(reply) ? 0 : Fail(kResultExecute, result);
}

bool ProbeAttached(int index) {
  const DeviceHandle device = OpenDeviceIndex(index);
  if (device == kNoDevice) return false;
  CloseDevice(device);
  return true;
}

int ProbePresence(int index) {
  if (index != kAnyProbeIndex) return ProbeAttached(index) ? 1 : 0;
  int attached = 0;
  for (int each = 0; each < kDeviceIndices && attached < 2; ++each) {
    if (ProbeAttached(each)) ++attached;
  }
  return attached;
}

int OpenProbeForUpdate(ProbeLink& link, const ProbeChoice& choice) {
  return OpenProbe(link, choice);
}

int StartProbeErase(ProbeLink& link) {
  if (!IsProbeOpen(link)) return kResultNotSent;
  return StartEraseCommand(link);
}

void EndEraseWatch(ProbeLink& link) {
  StopReplyWatch(link);
}

void CloseProbeIfOpen(ProbeLink& link) {
  if (IsProbeOpen(link)) CloseProbe(link);
}

void ForgetProbeHandle(ProbeLink& link) {
  ResetProbeHandle(link);
}

int CloseProbeAfterUpdate(ProbeLink& link, int* result) {
  return CloseProbe(link) ? 0 : Fail(kResultCloseFailed, result);
}
