// The lowest layer to the probe: the device paths, the module-wide probe
// handle, timed transfers and the reply watch. Which path becomes the probe
// handle is discovery's rule (discovery.h).
//
// The Windows build links the Win32 implementation (overlapped device I/O);
// the native tests link one that talks to the probe model in-process.
#pragma once

#include <cstdint>

#include "common/probe_protocol.h"

// Every timed write and read gives up after this long.
inline constexpr uint32_t kTransferTimeoutMs = 3000;

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
