// The unit steps between the firmware image and the probe operations: the
// image decides what a unit is, the probe layer only sends what it is given.
#include "firmware/unit_steps.h"

#include "common/result_codes.h"
#include "firmware/firmware_image.h"
#include "firmware/probe_session.h"
#include "probe/operations.h"

static_assert(kMaxUnitBytes <= kMaxUnitTransferBytes, "a unit goes out in one read request");

int ProgramNextUnit(ProbeSession& session, int* result) {
  if (!session.image) return 0;
  uint8_t unit[kMaxUnitBytes];
  uint32_t offset = 0;
  const uint32_t length = NextProgramUnit(*session.image, session.cursor, unit, &offset);
  if (length == 0) return 0;
  return ProgramUnit(session.link, offset, unit, length, result);
}

int VerifyNextUnit(ProbeSession& session, int* result) {
  if (!session.image) return 0;
  uint32_t address = 0;
  const uint32_t length = NextReadBackUnit(*session.image, session.cursor, &address);
  if (length == 0) return 0;
  uint8_t data[kMaxUnitBytes];
  if (ReadBackUnit(session.link, address, length, data, result) != 0) return 1;
  if (!CompareReadBackUnit(*session.image, session.cursor, length, data)) return 0;
  if (result != nullptr) *result = kResultFlashVerify;
  return 1;
}
