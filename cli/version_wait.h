// update --expect-version: after the reset instruction, the probe is asked
// for its version again and again until it answers the one expected or the
// time given runs out. A probe that still answers its old version just after
// the execute request, before its reset, does not end the wait: only the
// deadline decides that it came back with another version.
#pragma once

#include "cli/runners.h"
#include "ledger/operation_record.h"

// Watches the probe at device index (kAnyProbeIndex: exactly one attached
// probe) for context.options.expectVersion, for at most
// context.options.resetTimeoutSeconds. Reports on standard error and into
// the record: firmware_after is the version last answered; the result stays
// 0 when it was the one expected, becomes 25 when only others were answered,
// 24 when none was, 130 on Ctrl+C.
void WaitForVersion(RunContext& context, int index, OperationRecord& record);
