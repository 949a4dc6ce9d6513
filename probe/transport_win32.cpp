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

#include "probe/transport.h"

namespace {

// How long a cancelled request may take to end.
constexpr DWORD kCancelWaitMs = 5000;

struct Transfer {
  OVERLAPPED record{};
  std::vector<uint8_t> bytes;
};

}  // namespace

struct TransportLinkState {
  struct ReplyWatch {
    HANDLE event = nullptr;
    OVERLAPPED record{};
    uint8_t byte = 0;
    DWORD count = 0;
  };
  HANDLE probe = INVALID_HANDLE_VALUE;
  ReplyWatch watch;
  // The event of every transfer while the probe is open: made at the first
  // transfer and closed with the probe, not made and closed for each of an
  // update's thousands of frames (under Wine each is a trip to its server).
  HANDLE transferEvent = nullptr;
};

namespace {

TransportLinkState& StateOf(ProbeLink& link) {
  if (!link.transport) link.transport.reset(new TransportLinkState);
  return *link.transport;
}

HANDLE ProbeHandleOf(const ProbeLink& link) {
  return link.transport ? link.transport->probe : INVALID_HANDLE_VALUE;
}

void CloseTransferEvent(TransportLinkState& state) {
  if (state.transferEvent != nullptr) CloseHandle(state.transferEvent);
  state.transferEvent = nullptr;
}

// Cancels the request and waits for it to end. False when it did not end in
// time; its record, buffer and event must then stay alive.
bool CancelAndWait(uint32_t* lastError, HANDLE handle, OVERLAPPED* record) {
  if (!CancelIoEx(handle, record)) {
    const DWORD error = GetLastError();
    // Not found: the request had already ended.
    if (error != ERROR_NOT_FOUND) *lastError = error;
  }
  if (HasOverlappedIoCompleted(record)) return true;
  WaitForSingleObject(record->hEvent, kCancelWaitMs);
  return HasOverlappedIoCompleted(record);
}

// Ends a pending watch read the same way as an abandoned transfer.
void EndReplyWatch(TransportLinkState& state, uint32_t* lastError) {
  if (state.watch.event == nullptr) return;
  bool ended = true;
  if (state.probe != INVALID_HANDLE_VALUE)
    ended = CancelAndWait(lastError, state.probe, &state.watch.record);
  if (ended) CloseHandle(state.watch.event);
  // A watch read that never ended may still signal the event: keep it.
  state.watch = TransportLinkState::ReplyWatch{};
}

bool TimedTransfer(ProbeLink& link, bool write, uint8_t* buffer, uint32_t length, uint32_t* count) {
  const HANDLE probe = ProbeHandleOf(link);
  if (probe == INVALID_HANDLE_VALUE) {
    link.lastError = ERROR_INVALID_HANDLE;
    return false;
  }
  TransportLinkState& state = *link.transport;
  if (state.transferEvent == nullptr) {
    state.transferEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (state.transferEvent == nullptr) {
      link.lastError = GetLastError();
      return false;
    }
  }
  HANDLE event = state.transferEvent;
  auto* transfer = new Transfer;
  transfer->record.hEvent = event;
  if (write)
    transfer->bytes.assign(buffer, buffer + length);
  else
    transfer->bytes.resize(length);
  const DWORD start = GetTickCount();
  const BOOL issued =
      write ? WriteFile(probe, transfer->bytes.data(), length, nullptr, &transfer->record)
            : ReadFile(probe, transfer->bytes.data(), length, nullptr, &transfer->record);
  const DWORD issueError = issued ? ERROR_SUCCESS : GetLastError();
  // A request the device refuses at once will never signal its event.
  if (!issued && issueError != ERROR_IO_PENDING) {
    link.lastError = issueError;
    delete transfer;
    return false;
  }
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed > kTransferTimeoutMs) {
      if (CancelAndWait(&link.lastError, probe, &transfer->record)) {
        delete transfer;
      } else {
        // The request may still signal it: it stays with the request.
        state.transferEvent = nullptr;
      }
      return false;
    }
    // Wakes just after the time-out at the latest.
    if (WaitForSingleObject(event, kTransferTimeoutMs - elapsed + 1) == WAIT_OBJECT_0) break;
  }
  DWORD transferred = 0;
  const bool ok = GetOverlappedResult(probe, &transfer->record, &transferred, FALSE);
  if (!ok) link.lastError = GetLastError();
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

void AdoptDevice(ProbeLink& link, DeviceHandle device) {
  StateOf(link).probe = reinterpret_cast<HANDLE>(device);
}

bool CloseProbe(ProbeLink& link) {
  if (ProbeHandleOf(link) == INVALID_HANDLE_VALUE) return false;
  TransportLinkState& state = *link.transport;
  EndReplyWatch(state, &link.lastError);
  CloseTransferEvent(state);
  if (!CloseHandle(state.probe)) {
    link.lastError = GetLastError();
    return false;
  }
  state.probe = INVALID_HANDLE_VALUE;
  return true;
}

bool IsProbeOpen(const ProbeLink& link) {
  return ProbeHandleOf(link) != INVALID_HANDLE_VALUE;
}

void ResetProbeHandle(ProbeLink& link) {
  if (link.transport) link.transport->probe = INVALID_HANDLE_VALUE;
}

// A link let go with its probe still open (a test's end, a thread stopped
// between steps) releases everything it holds, as a close would.
void TransportLinkStateDeleter::operator()(TransportLinkState* state) const {
  if (state == nullptr) return;
  uint32_t ignored = 0;
  EndReplyWatch(*state, &ignored);
  CloseTransferEvent(*state);
  if (state->probe != INVALID_HANDLE_VALUE) CloseHandle(state->probe);
  delete state;
}

bool TimedWrite(ProbeLink& link, const uint8_t* bytes, uint32_t length, uint32_t* count) {
  return TimedTransfer(link, true, const_cast<uint8_t*>(bytes), length, count);
}

bool TimedRead(ProbeLink& link, uint8_t* buffer, uint32_t length, uint32_t* count) {
  return TimedTransfer(link, false, buffer, length, count);
}

bool StartReplyWatch(ProbeLink& link) {
  if (link.transport) EndReplyWatch(*link.transport, &link.lastError);
  const HANDLE probe = ProbeHandleOf(link);
  if (probe == INVALID_HANDLE_VALUE) {
    link.lastError = ERROR_INVALID_HANDLE;
    return false;
  }
  TransportLinkState::ReplyWatch& watch = link.transport->watch;
  HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (event == nullptr) {
    link.lastError = GetLastError();
    return false;
  }
  watch.event = event;
  watch.record = OVERLAPPED{};
  watch.record.hEvent = event;
  // A read the device refuses at once (the probe has gone) never signals its
  // event: a watch over it would be polled as pending until the erase gives
  // up. It fails here instead, as a refused transfer does.
  if (!ReadFile(probe, &watch.byte, 1, nullptr, &watch.record)) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      link.lastError = error;
      CloseHandle(event);
      watch = TransportLinkState::ReplyWatch{};
      return false;
    }
  }
  return true;
}

ReplyWatchState PollReplyWatch(ProbeLink& link) {
  if (!link.transport || link.transport->watch.event == nullptr) return kWatchNone;
  return WaitForSingleObject(link.transport->watch.event, 0) == WAIT_OBJECT_0 ? kWatchArrived
                                                                              : kWatchPending;
}

void StopReplyWatch(ProbeLink& link) {
  if (link.transport) EndReplyWatch(*link.transport, &link.lastError);
}
