// The probe link's transport over the probe's device driver: the device paths
// \\.\VelkoroDevice0 ... 255, overlapped transfers that give up after the
// time-out, and the reply watch of the erase.
//
// A request abandoned at its time-out is cancelled and waited for before its
// record and buffer are let go, so it cannot complete into reused memory. The
// record and buffer live on the heap; if the cancelled request does not end
// within kCancelWaitMs they are deliberately leaked rather than freed.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "probe/link_reset.h"
#include "probe/transport.h"

namespace {

// How long a cancelled request may take to end.
constexpr DWORD kCancelWaitMs = 5000;

struct Transfer {
  OVERLAPPED record{};
  std::vector<uint8_t> bytes;
};

struct ReplyWatch {
  HANDLE event = nullptr;
  OVERLAPPED record{};
  uint8_t byte = 0;
  DWORD count = 0;
};

// Per thread: each probe of a tray has its own handle, watch and error on the
// thread that runs it; the window program has one thread.
thread_local HANDLE g_probeHandle = INVALID_HANDLE_VALUE;
thread_local ReplyWatch g_watch;
thread_local DWORD g_lastError = 0;
// The event of every transfer while the probe is open: made at the first
// transfer and closed with the probe, not made and closed for each of an
// update's thousands of frames (under Wine each is a trip to its server).
thread_local HANDLE g_transferEvent = nullptr;

void CloseTransferEvent() {
  if (g_transferEvent != nullptr) CloseHandle(g_transferEvent);
  g_transferEvent = nullptr;
}

// Cancels the request and waits for it to end. False when it did not end in
// time; its record, buffer and event must then stay alive.
bool CancelAndWait(HANDLE handle, OVERLAPPED* record) {
  if (!CancelIoEx(handle, record)) {
    const DWORD error = GetLastError();
    // Not found: the request had already ended.
    if (error != ERROR_NOT_FOUND) g_lastError = error;
  }
  if (HasOverlappedIoCompleted(record)) return true;
  WaitForSingleObject(record->hEvent, kCancelWaitMs);
  return HasOverlappedIoCompleted(record);
}

// Ends a pending watch read the same way as an abandoned transfer.
void EndReplyWatch() {
  if (g_watch.event == nullptr) return;
  bool ended = true;
  if (g_probeHandle != INVALID_HANDLE_VALUE) ended = CancelAndWait(g_probeHandle, &g_watch.record);
  if (ended) CloseHandle(g_watch.event);
  // A watch read that never ended may still signal the event: keep it.
  g_watch = ReplyWatch{};
}

bool TimedTransfer(bool write, uint8_t* buffer, uint32_t length, uint32_t* count) {
  if (g_probeHandle == INVALID_HANDLE_VALUE) {
    g_lastError = ERROR_INVALID_HANDLE;
    return false;
  }
  if (g_transferEvent == nullptr) {
    g_transferEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (g_transferEvent == nullptr) {
      g_lastError = GetLastError();
      return false;
    }
  }
  HANDLE event = g_transferEvent;
  auto* transfer = new Transfer;
  transfer->record.hEvent = event;
  if (write)
    transfer->bytes.assign(buffer, buffer + length);
  else
    transfer->bytes.resize(length);
  const DWORD start = GetTickCount();
  const BOOL issued =
      write ? WriteFile(g_probeHandle, transfer->bytes.data(), length, nullptr, &transfer->record)
            : ReadFile(g_probeHandle, transfer->bytes.data(), length, nullptr, &transfer->record);
  // A request the device refuses at once will never signal its event.
  if (!issued && GetLastError() != ERROR_IO_PENDING) {
    g_lastError = GetLastError();
    delete transfer;
    return false;
  }
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed > kTransferTimeoutMs) {
      if (CancelAndWait(g_probeHandle, &transfer->record)) {
        delete transfer;
      } else {
        // The request may still signal it: it stays with the request.
        g_transferEvent = nullptr;
      }
      return false;
    }
    // Wakes just after the time-out at the latest.
    if (WaitForSingleObject(event, kTransferTimeoutMs - elapsed + 1) == WAIT_OBJECT_0) break;
  }
  DWORD transferred = 0;
  const bool ok = GetOverlappedResult(g_probeHandle, &transfer->record, &transferred, FALSE);
  if (!ok) g_lastError = GetLastError();
  if (ok && !write) std::memcpy(buffer, transfer->bytes.data(), transferred);
  delete transfer;
  if (!ok) return false;
  if (count != nullptr) *count = transferred;
  return true;
}

}  // namespace

DeviceHandle OpenDeviceIndex(int index) {
  const std::wstring path = DevicePathOfWide(index);
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  static_assert(sizeof(DeviceHandle) == sizeof(HANDLE));
  return handle == INVALID_HANDLE_VALUE ? kNoDevice : reinterpret_cast<DeviceHandle>(handle);
}

void CloseDevice(DeviceHandle device) {
  if (device != kNoDevice) CloseHandle(reinterpret_cast<HANDLE>(device));
}

void AdoptDevice(DeviceHandle device) {
  g_probeHandle = reinterpret_cast<HANDLE>(device);
}

bool CloseProbe() {
  if (g_probeHandle == INVALID_HANDLE_VALUE) return false;
  EndReplyWatch();
  CloseTransferEvent();
  if (!CloseHandle(g_probeHandle)) {
    g_lastError = GetLastError();
    return false;
  }
  g_probeHandle = INVALID_HANDLE_VALUE;
  return true;
}

bool IsProbeOpen() {
  return g_probeHandle != INVALID_HANDLE_VALUE;
}

void ResetProbeHandle() {
  g_probeHandle = INVALID_HANDLE_VALUE;
}

void ResetTransportForTests() {
  EndReplyWatch();
  CloseTransferEvent();
  if (g_probeHandle != INVALID_HANDLE_VALUE) CloseHandle(g_probeHandle);
  g_probeHandle = INVALID_HANDLE_VALUE;
}

bool TimedWrite(const uint8_t* bytes, uint32_t length, uint32_t* count) {
  return TimedTransfer(true, const_cast<uint8_t*>(bytes), length, count);
}

bool TimedRead(uint8_t* buffer, uint32_t length, uint32_t* count) {
  return TimedTransfer(false, buffer, length, count);
}

bool StartReplyWatch() {
  EndReplyWatch();
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (event == nullptr) {
    g_lastError = GetLastError();
    return false;
  }
  g_watch.event = event;
  g_watch.record = OVERLAPPED{};
  g_watch.record.hEvent = event;
  // A read the device refuses at once (the probe has gone) never signals its
  // event: a watch over it would be polled as pending until the erase gives
  // up. It fails here instead, as a refused transfer does.
  if (!ReadFile(g_probeHandle, &g_watch.byte, 1, nullptr, &g_watch.record)) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      g_lastError = error;
      CloseHandle(event);
      g_watch = ReplyWatch{};
      return false;
    }
  }
  return true;
}

ReplyWatchState PollReplyWatch() {
  if (g_watch.event == nullptr) return kWatchNone;
  return WaitForSingleObject(g_watch.event, 0) == WAIT_OBJECT_0 ? kWatchArrived : kWatchPending;
}

void StopReplyWatch() {
  EndReplyWatch();
}
