#include "probe/device_hold_win32.h"

#include <string>

#include "common/probe_protocol.h"

bool TakeDeviceHold(int index, HANDLE* held) {
  *held = nullptr;
  const std::wstring name = L"Local\\" + std::wstring(kDeviceLinkName) + std::to_wstring(index);
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name.c_str());
  if (mutex == nullptr) return true;
  const DWORD taken = ::WaitForSingleObject(mutex, 0);
  if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED) {
    ::CloseHandle(mutex);
    return false;
  }
  *held = mutex;
  return true;
}
