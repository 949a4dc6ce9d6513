// The names the emulator's options and transcript use: commands, faults and
// numbers, and the parsing of a --fault value.
#include <algorithm>
#include <charconv>

#include "emulator/probe_model.h"
#include "model_commands.h"

namespace probe_model {
namespace {

struct FaultName {
  FaultKind kind;
  std::string_view name;
};

constexpr FaultName kFaultNames[] = {
    {FaultKind::kNoReply, "no-reply"},
    {FaultKind::kBadCheck, "bad-check"},
    {FaultKind::kShortReply, "short-reply"},
    {FaultKind::kWrongEcho, "wrong-echo"},
    {FaultKind::kBadStatus, "bad-status"},
    {FaultKind::kEraseFails, "erase-fails"},
    {FaultKind::kEraseNeverEnds, "erase-never-ends"},
    {FaultKind::kSerialCase, "serial-case"},
    {FaultKind::kFlipBit, "flip-bit"},
    {FaultKind::kDisconnect, "disconnect"},
    {FaultKind::kVanish, "vanish"},
    {FaultKind::kStopsTaking, "stops-taking"},
};

}  // namespace

std::optional<uint32_t> ParseNumber(std::string_view text) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::string_view CommandName(uint8_t command) {
  const CommandInfo* info = FindCommand(command);
  return info ? info->name : std::string_view();
}

std::optional<uint8_t> CommandByName(std::string_view name) {
  for (const CommandInfo& info : kCommands) {
    if (info.name == name) return info.code;
  }
  return std::nullopt;
}

std::optional<Fault> ParseFault(std::string_view text) {
  Fault fault;
  const size_t at = text.find('@');
  if (at != std::string_view::npos) {
    const auto nth = ParseNumber(text.substr(at + 1));
    if (!nth || *nth == 0) return std::nullopt;
    fault.nth = *nth;
    text = text.substr(0, at);
  }
  std::string_view argument;
  const size_t colon = text.find(':');
  if (colon != std::string_view::npos) {
    argument = text.substr(colon + 1);
    text = text.substr(0, colon);
    if (argument.empty()) return std::nullopt;
  }
  const auto named = std::find_if(std::begin(kFaultNames), std::end(kFaultNames),
                                  [&](const FaultName& f) { return f.name == text; });
  if (named == std::end(kFaultNames)) return std::nullopt;
  fault.kind = named->kind;
  if (fault.kind == FaultKind::kFlipBit) {
    if (!argument.empty()) {
      const auto offset = ParseNumber(argument);
      if (!offset || *offset >= kFlashBytes) return std::nullopt;
      fault.offset = *offset;
    }
    return fault;
  }
  if (!argument.empty()) {
    const auto command = CommandByName(argument);
    if (!command) return std::nullopt;
    fault.command = *command;
  }
  return fault;
}

}  // namespace probe_model
