// The device path of a pipe host: an NT symbolic link \\??\\VelkoroDeviceN
// to its pipe, or where that call is missing a DOS device definition.
#include <winternl.h>

#include "emulator/pipe_host.h"

namespace {

constexpr ACCESS_MASK kSymbolicLinkAllAccess = 0xF0001;
constexpr ULONG kObjCaseInsensitive = 0x40;

using NtCreateSymbolicLinkObjectFn = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                                  PUNICODE_STRING);

void InitString(UNICODE_STRING* s, const std::wstring& text) {
  s->Buffer = const_cast<PWSTR>(text.c_str());
  s->Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
  s->MaximumLength = s->Length + sizeof(wchar_t);
}

}  // namespace

bool PipeHost::CreateLink(std::string* error) {
  const std::wstring linkName = L"\\??\\" + std::wstring(kDeviceLinkName) + std::to_wstring(index_);
  auto create = reinterpret_cast<NtCreateSymbolicLinkObjectFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateSymbolicLinkObject")));
  LONG status = -1;
  if (create != nullptr) {
    UNICODE_STRING name;
    UNICODE_STRING target;
    InitString(&name, linkName);
    InitString(&target, linkTarget_);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, kObjCaseInsensitive, nullptr, nullptr);
    status = create(&link_, kSymbolicLinkAllAccess, &attributes, &target);
  }
  if (status < 0) {
    link_ = nullptr;
    const std::wstring device = kDeviceLinkName + std::to_wstring(index_);
    wchar_t existing[MAX_PATH];
    if (QueryDosDeviceW(device.c_str(), existing, MAX_PATH) != 0) {
      *error = DevicePathOf(index_) + " is already served";
      return false;
    }
    if (!DefineDosDeviceW(DDD_RAW_TARGET_PATH, device.c_str(), linkTarget_.c_str())) {
      *error = "cannot create the device path (error " + std::to_string(GetLastError()) + ")";
      return false;
    }
    definedDosDevice_ = true;
  }
  return true;
}

void PipeHost::RemoveLink() {
  if (link_ != nullptr) {
    CloseHandle(link_);
    link_ = nullptr;
  }
  if (definedDosDevice_) {
    const std::wstring device = kDeviceLinkName + std::to_wstring(index_);
    DefineDosDeviceW(DDD_RAW_TARGET_PATH | DDD_REMOVE_DEFINITION | DDD_EXACT_MATCH_ON_REMOVE,
                     device.c_str(), linkTarget_.c_str());
    definedDosDevice_ = false;
  }
}
