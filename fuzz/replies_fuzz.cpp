// Fuzzes every reply path of the probe link: the input is the byte stream the
// probe sends back, whatever was asked, while the tool reads the serial
// number, writes it, checks the version for an update, and runs the update's
// steps (erase poll, programming, verifying, execute, close). Transfers wait
// on the in-process transport's clock, so a missing reply costs no real time.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "emulator/model_transport.h"
#include "firmware/firmware_image.h"
#include "firmware/probe_session.h"
#include "firmware/unit_steps.h"
#include "probe/commands.h"
#include "probe/discovery.h"
#include "probe/operations.h"
#include "probe/transport.h"
#include "tests/support/srecord_writer.h"

namespace {

constexpr int kMaxPolls = 240;
constexpr uint64_t kPollIntervalMs = 500;

std::shared_ptr<const FirmwareImage> LoadImage() {
  const std::string file = srecord_writer::File(0x00010000, srecord_writer::Pattern(1300));
  auto image = std::make_shared<FirmwareImage>();
  const FirmwareReadStatus status =
      image->Read(reinterpret_cast<const uint8_t*>(file.data()), file.size());
  if (status.sizeError || status.formatError) return nullptr;
  return image;
}

probe_model::ProbeModel& AttachProbe() {
  model_link::Reset();
  auto& probe = model_link::Attach(0);
  probe.SetAnswering(false);
  probe.KeepRepliesAcrossOpens(true);
  return probe;
}

void RunUpdateSteps(ProbeSession& session) {
  int result = 0;
  if (OpenProbe(session.link) != 0) return;
  if (StartEraseCommand(session.link) == 0) {
    for (int poll = 0; poll < kMaxPolls; ++poll) {
      model_link::AdvanceClock(kPollIntervalMs);
      if (PollProbeErase(session.link, &result) != kErasePending) break;
    }
  }
  StopReplyWatch(session.link);
  // Every step runs whatever the one before gave, to reach every reply path.
  const int units = session.image->CountTransferUnits();
  Rewind(session.cursor);
  for (int unit = units; unit > 0; --unit) ProgramNextUnit(session, &result);
  Rewind(session.cursor);
  for (int unit = units; unit > 0; --unit) VerifyNextUnit(session, &result);
  ExecuteProbeUpdate(session.link, &result);
  CloseProbeAfterUpdate(session.link, &result);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::shared_ptr<const FirmwareImage> image = LoadImage();
  if (!image) __builtin_trap();
  // One model serves every run: making its flash anew each time would cost
  // more than the run.
  static probe_model::ProbeModel& probe = AttachProbe();
  ProbeSession session;
  session.image = image;
  model_link::ForgetHistory();
  probe.ClearHistory();
  probe.QueueRawReply(std::vector<uint8_t>(data, data + size));

  char16_t serial[kSerialBufferUnits];
  int result = 0;
  ReadProbeSerial(session.link, serial, &result);
  WriteProbeSerial(session.link, u"FUZZ-0001", &result);
  char16_t version[4];
  CheckProbeForUpdate(session.link, version, &result);
  // The request size follows the version the probe gave, or a small one.
  if (session.link.version == 0) session.link.version = 0x21;
  RunUpdateSteps(session);
  return 0;
}
