// The probe's commands as the emulated probe knows them: code, the name the
// emulator's options and transcript use, and the reply kind. Shared by the
// files of the model; not offered outside the emulator.
#pragma once

#include <cstdint>
#include <string_view>

#include "common/probe_protocol.h"

namespace probe_model {

struct CommandInfo {
  uint8_t code;
  std::string_view name;
  bool longReply;
};

inline constexpr CommandInfo kCommands[] = {
    {kCmdReadSerial, "read-serial", true},    {kCmdReadVersion, "read-version", true},
    {kCmdWriteSerial, "write-serial", false}, {kCmdEraseFlash, "erase", true},
    {kCmdWriteFlash, "write-flash", false},   {kCmdReadFlash, "read-flash", true},
    {kCmdExecuteUpdate, "execute", false},
};

inline const CommandInfo* FindCommand(uint8_t code) {
  for (const CommandInfo& info : kCommands) {
    if (info.code == code) return &info;
  }
  return nullptr;
}

}  // namespace probe_model
