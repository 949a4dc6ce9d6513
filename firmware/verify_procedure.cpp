// The read-back half of an update, on its own: the same version check and
// the same unit comparison as the update's steps, over the image the file
// checks left.
#include "firmware/verify_procedure.h"

#include "common/result_codes.h"
#include "firmware/firmware_image.h"
#include "firmware/unit_steps.h"
#include "probe/operations.h"

int BeginVerify(VerifyRun* run, const ProbeChoice& choice) {
  *run = VerifyRun{};
  if (const int opened = OpenProbeForUpdate(choice); opened != 0) return opened;
  if (const int check = CheckVersionForUpdate(run->versionText); check != 0) {
    CloseProbeIfOpen();
    return check;
  }
  run->probeVersion = g_probeVersion;
  RewindTransferUnits();
  run->units = CountTransferUnits();
  return 0;
}

int VerifyNextStep(VerifyRun* run) {
  int result = 0;
  if (VerifyNextUnit(&result) != 0) return result;
  ++run->verified;
  return 0;
}

bool VerifyDone(const VerifyRun& run) {
  return run.verified >= run.units;
}

int EndVerify() {
  int result = 0;
  return CloseProbeAfterUpdate(&result) == 0 ? 0 : result;
}

void AbandonVerify() {
  CloseProbeIfOpen();
}
