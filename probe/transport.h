// The lowest layer to the probe: discovery of the one attached probe, the
// module-wide probe handle, timed transfers and the reply watch.
//
// The Windows build links the Win32 implementation (overlapped device I/O);
// the native tests link one that talks to the probe model in-process. Each
// supplies the functions below but OpenProbe, whose rule is written once
// (discovery.cpp) over the transport's OpenDeviceIndex.
#pragma once

#include <cstdint>

#include "common/probe_protocol.h"

// Every timed write and read gives up after this long.
inline constexpr uint32_t kTransferTimeoutMs = 3000;

// 0: exactly one probe found and now open. 1: none could be opened, or a
// probe handle was already open (it is left untouched). 2: more than one.
int OpenProbe();

// Which device path OpenProbe may use: any (the scan of 0 to 255 that needs
// exactly one probe), or only the one index 0 to 255 (1 when it does not
// open). For callers that name the probe, such as a station with several.
void SelectProbeIndex(int index);
int SelectedProbeIndex();
// The device index the last successful OpenProbe opened; kAnyProbeIndex
// before the first, after a failed one, or after SelectProbeIndex.
int OpenedProbeIndex();

// What discovery asks of the transport: a device opened by its index and not
// yet the probe handle.
using DeviceHandle = intptr_t;
inline constexpr DeviceHandle kNoDevice = -1;
// Opens \\.\VelkoroDevice<index>; kNoDevice when the path does not open.
DeviceHandle OpenDeviceIndex(int index);
void CloseDevice(DeviceHandle device);
// The device becomes the probe handle.
void AdoptDevice(DeviceHandle device);
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
