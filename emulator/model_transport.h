// Control of the in-process transport: the probe link of probe/transport.h
// served by probe models instead of a driver. Tests attach models at device
// indices, drive the clock the models see, and make a close or the creation
// of an event fail. The models, the clock and the counters are one world all
// links share; every function here is safe beside links on other threads.
#pragma once

#include <cstdint>
#include <vector>

#include "common/probe_protocol.h"
#include "emulator/probe_model.h"
#include "probe/probe_link.h"

namespace model_link {

// Detaches every probe, sets the clock to 0 and clears the fault settings.
// Links are their owners' to let go, before this.
void Reset();
// Forgets the open attempts and counts and sets the clock to 0, keeping the
// attached probes.
void ForgetHistory();
probe_model::ProbeModel& Attach(int index, probe_model::ProbeSettings settings = {});
void Detach(int index);
// nullptr when nothing is attached there.
probe_model::ProbeModel* ModelAt(int index);

// The clock moves only when a test advances it or a transfer waits.
uint64_t NowMs();
void AdvanceClock(uint64_t ms);

void SetCloseFails(bool fails);
// Every transfer and reply watch finds no event to wait on.
void SetEventCreationFails(bool fails);
// Only the reply watch finds no event.
void SetReplyWatchFails(bool fails);

// Index of the probe the link holds open, or -1.
int OpenIndex(const ProbeLink& link);
// Every device index an open was tried on, in order, since the last Reset.
std::vector<int> OpenAttempts();
int OpenCount(int index);
int CloseCount(int index);

}  // namespace model_link
