// update --expect-version on the console: after the reset instruction the
// line's version wait (line/version_wait.h) runs on the console's clock.
#pragma once

#include "cli/runners.h"
#include "ledger/operation_record.h"

// Watches the probe at device index (kAnyProbeIndex: exactly one attached
// probe) for context.options.expectVersion, for at most
// context.options.resetTimeoutSeconds. Reports on standard error and into
// the record: firmware_after is the version answered after the reset; the
// result stays 0 when it was the one expected, becomes 25 when the probe
// came back with another, 24 when it never came back.
void WaitForVersion(RunContext& context, int index, OperationRecord& record);
