// The read-back half of an update, on its own: the same version check and
// the same unit comparison as the update's steps, over the image the file
// checks left.
#include "firmware/verify_procedure.h"

#include "common/result_codes.h"
#include "firmware/firmware_image.h"
#include "firmware/probe_session.h"
#include "firmware/unit_steps.h"
#include "probe/operations.h"

int BeginVerify(ProbeSession& session, VerifyRun* run, const ProbeChoice& choice) {
  *run = VerifyRun{};
  if (const int opened = OpenProbeForUpdate(session.link, choice); opened != 0) return opened;
  if (const int check = CheckVersionForUpdate(session.link, run->versionText); check != 0) {
    CloseProbeIfOpen(session.link);
    return check;
  }
  run->probeVersion = session.link.version;
  Rewind(session.cursor);
  run->units = session.image ? session.image->CountTransferUnits() : 0;
  return 0;
}

int VerifyNextStep(ProbeSession& session, VerifyRun* run) {
  int result = 0;
  if (VerifyNextUnit(session, &result) != 0) return result;
  ++run->verified;
  return 0;
}

bool VerifyDone(const VerifyRun& run) {
  return run.verified >= run.units;
}

int EndVerify(ProbeSession& session) {
  int result = 0;
  return CloseProbeAfterUpdate(session.link, &result) == 0 ? 0 : result;
}

void AbandonVerify(ProbeSession& session) {
  CloseProbeIfOpen(session.link);
}

int ReadBackWhole(ProbeSession& session, VerifyRun* run, const ProbeChoice& choice,
                  const std::function<bool()>& stopped,
                  const std::function<void(int verified, int units)>& progress) {
  int code = BeginVerify(session, run, choice);
  if (code != 0) return code;
  while (code == 0 && !VerifyDone(*run) && !stopped()) {
    code = VerifyNextStep(session, run);
    progress(run->verified, run->units);
  }
  if (code == 0 && VerifyDone(*run)) return EndVerify(session);
  AbandonVerify(session);
  return code != 0 ? code : kVerifyStopped;
}
