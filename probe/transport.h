// The lowest layer to the probe: the device paths, a link's probe handle,
// timed transfers and the reply watch. Which path becomes the probe
// handle is discovery's rule (discovery.h).
//
// The Windows build links the Win32 implementation (overlapped device I/O);
// the native tests link one that talks to the probe model in-process.
#pragma once

#include <cstdint>

#include "common/probe_protocol.h"
#include "probe/probe_link.h"

// Every timed write and read gives up after this long.
inline constexpr uint32_t kTransferTimeoutMs = 3000;

// What discovery asks of the transport: a device opened by its index and not
// yet the probe handle.
using DeviceHandle = intptr_t;
inline constexpr DeviceHandle kNoDevice = -1;
// Opens \\.\VelkoroDevice<index>; kNoDevice when the path does not open.
DeviceHandle OpenDeviceIndex(int index);
void CloseDevice(DeviceHandle device);
// The device becomes the link's probe handle.
void AdoptDevice(ProbeLink& link, DeviceHandle device);
// Fails with no probe open, or when the close fails (the handle stays open).
bool CloseProbe(ProbeLink& link);
// Whether the link has a probe handle open.
bool IsProbeOpen(const ProbeLink& link);
// Records the link's probe handle as none without closing anything.
void ResetProbeHandle(ProbeLink& link);

// On success *count (when given) holds the bytes actually transferred.
bool TimedWrite(ProbeLink& link, const uint8_t* bytes, uint32_t length, uint32_t* count = nullptr);
bool TimedRead(ProbeLink& link, uint8_t* buffer, uint32_t length, uint32_t* count = nullptr);

enum ReplyWatchState { kWatchNone, kWatchPending, kWatchArrived };
bool StartReplyWatch(ProbeLink& link);
ReplyWatchState PollReplyWatch(ProbeLink& link);
void StopReplyWatch(ProbeLink& link);
