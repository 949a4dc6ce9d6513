// The lowest layer to the probe: discovery of the one attached probe, the
// module-wide probe handle, timed transfers and the reply watch.
//
// The Windows build links the Win32 implementation (overlapped device I/O);
// the native tests link one that talks to the probe model in-process.
#pragma once

#include <cstdint>

// Every timed write and read gives up after this long.
inline constexpr uint32_t kTransferTimeoutMs = 3000;

// Which device path OpenProbe tries. kAnyProbeIndex (the default): the scan
// of 0 ... 255 for exactly one probe. 0 ... 255: only that path, result 1 when
// it does not open. Any other value counts as kAnyProbeIndex.
inline constexpr int kAnyProbeIndex = -1;
void SelectProbeIndex(int index);

// 0: exactly one probe found and now open. 1: none could be opened, or a
// probe handle was already open (it is left untouched). 2: more than one.
int OpenProbe();
// Fails with no probe open, or when the close fails (the handle stays open).
bool CloseProbe();
// Whether a probe handle is open.
bool IsProbeOpen();
// Records the probe handle as none without closing anything; the window calls
// it when it opens.
void ResetProbeHandle();

// On success *count (when given) holds the bytes actually transferred.
bool TimedWrite(const uint8_t* bytes, uint32_t length, uint32_t* count = nullptr);
bool TimedRead(uint8_t* buffer, uint32_t length, uint32_t* count = nullptr);

enum ReplyWatchState { kWatchNone, kWatchPending, kWatchArrived };
bool StartReplyWatch();
ReplyWatchState PollReplyWatch();
void StopReplyWatch();
