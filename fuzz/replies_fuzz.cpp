// Fuzzes every reply path of the probe link: the input is the byte stream the
// probe sends back, whatever was asked, while the tool reads the serial
// number, writes it, checks the version for an update, and runs the update's
// steps (erase poll, programming, verifying, execute, close). Transfers wait
// on the in-process transport's clock, so a missing reply costs no real time.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "emulator/model_transport.h"
#include "firmware/firmware_image.h"
#include "firmware/unit_steps.h"
#include "probe/commands.h"
#include "probe/discovery.h"
#include "probe/operations.h"
#include "probe/transport.h"
#include "tests/support/srecord_writer.h"

namespace {

constexpr int kMaxPolls = 240;
constexpr uint64_t kPollIntervalMs = 500;

bool LoadImage() {
  const std::string file = srecord_writer::File(0x00010000, srecord_writer::Pattern(1300));
  const FirmwareReadStatus status =
      ReadFirmwareBytes(reinterpret_cast<const uint8_t*>(file.data()), file.size());
  return !status.sizeError && !status.formatError;
}

probe_model::ProbeModel& AttachProbe() {
  model_link::Reset();
  auto& probe = model_link::Attach(0);
  probe.SetAnswering(false);
  probe.KeepRepliesAcrossOpens(true);
  return probe;
}

void RunUpdateSteps() {
  int result = 0;
  if (OpenProbe() != 0) return;
  if (StartEraseCommand() == 0) {
    for (int poll = 0; poll < kMaxPolls; ++poll) {
      model_link::AdvanceClock(kPollIntervalMs);
      if (PollProbeErase(&result) != kErasePending) break;
    }
  }
  StopReplyWatch();
  // Every step runs whatever the one before gave, to reach every reply path.
  RewindTransferUnits();
  for (int unit = CountTransferUnits(); unit > 0; --unit) ProgramNextUnit(&result);
  RewindTransferUnits();
  for (int unit = CountTransferUnits(); unit > 0; --unit) VerifyNextUnit(&result);
  ExecuteProbeUpdate(&result);
  CloseProbeAfterUpdate(&result);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool imageLoaded = LoadImage();
  if (!imageLoaded) __builtin_trap();
  // One model serves every run: making its flash anew each time would cost
  // more than the run.
  static probe_model::ProbeModel& probe = AttachProbe();
  ResetProbeLinkForTests();
  model_link::ForgetHistory();
  probe.ClearHistory();
  probe.QueueRawReply(std::vector<uint8_t>(data, data + size));

  char16_t serial[kSerialBufferUnits];
  int result = 0;
  ReadProbeSerial(serial, &result);
  WriteProbeSerial(u"FUZZ-0001", &result);
  char16_t version[4];
  CheckProbeForUpdate(version, &result);
  // The request size follows the version the probe gave, or a small one.
  if (g_probeVersion == 0) g_probeVersion = 0x21;
  RunUpdateSteps();
  return 0;
}
