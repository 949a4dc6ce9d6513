// What the tool and the probe agree on, in one place for both sides of the
// link: the probe layer that sends and the emulated probe that answers.
#pragma once

#include <cstdint>
#include <string>

// Command codes of the probe.
inline constexpr uint8_t kCmdReadSerial = 0xE1;
inline constexpr uint8_t kCmdReadVersion = 0x70;
inline constexpr uint8_t kCmdWriteSerial = 0xE0;
inline constexpr uint8_t kCmdEraseFlash = 0xC1;
inline constexpr uint8_t kCmdWriteFlash = 0xC2;
inline constexpr uint8_t kCmdReadFlash = 0xC9;
inline constexpr uint8_t kCmdExecuteUpdate = 0xC0;

// A status byte of 0x30, the digit 0, reports success for every command.
inline constexpr uint8_t kStatusOk = 0x30;

// Length field plus check byte around a request message or a reply body.
inline constexpr uint32_t kFrameOverhead = 3;
// Body and check byte of the longest reply a caller can take.
inline constexpr uint32_t kReplyBufferBytes = 1050;
// Callers keep a request message at or below this, so a frame stays within
// the largest reply size.
inline constexpr uint32_t kMaxMessageBytes = 1049;

// Data bytes in one write or read flash block request.
inline constexpr uint32_t kMaxFlashBlockBytes = 1024;
// Read flash block addresses are this plus the image offset of the same byte.
inline constexpr uint32_t kReadBackBase = 0x20000000;
// The probe's flash, and so the largest firmware image: 640 KiB.
inline constexpr uint32_t kFlashBytes = 640 * 1024;

inline constexpr int kMaxSerialUnits = 32;

// Device paths are this text followed by an index 0 to 255 in decimal.
inline constexpr char kDevicePathPrefix[] = "\\\\.\\VelkoroDevice";
inline constexpr wchar_t kDevicePathPrefixWide[] = L"\\\\.\\VelkoroDevice";
// The device path of an index, built in one place.
inline std::string DevicePathOf(int index) {
  return kDevicePathPrefix + std::to_string(index);
}
inline std::wstring DevicePathOfWide(int index) {
  return kDevicePathPrefixWide + std::to_wstring(index);
}
// The same name below the object manager's \??\ folder, where a driver (or
// the emulator) makes the link.
inline constexpr wchar_t kDeviceLinkName[] = L"VelkoroDevice";
inline constexpr int kDeviceIndices = 256;
inline constexpr int kHighestDeviceIndex = kDeviceIndices - 1;
// Not an index: whichever one probe is attached.
inline constexpr int kAnyProbeIndex = -1;

// The firmware version byte: bit 7 is a flag, bits 6-4 the major and 3-0 the
// minor version. Serial-number work needs 2.2 or later.
inline constexpr uint8_t kVersionFlagBit = 0x80;
inline constexpr uint8_t kSerialMinimumVersion = 0x22;
