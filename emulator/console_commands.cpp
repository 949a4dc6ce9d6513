// The emulator's console lines: plug, unplug, reset, quit.
#include "emulator/console_commands.h"

#include <charconv>

#include "common/probe_protocol.h"

namespace {

constexpr char kBlanks[] = " \t\r\n";

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

ConsoleCommand Mistake(std::string error) {
  ConsoleCommand command;
  command.kind = ConsoleCommand::kMistake;
  command.error = std::move(error);
  return command;
}

}  // namespace

ConsoleCommand ParseConsoleLine(std::string_view line) {
  const std::string_view text = Trim(line);
  ConsoleCommand command;
  if (text.empty()) return command;
  const size_t gap = text.find_first_of(kBlanks);
  const std::string_view word = text.substr(0, gap);
  const std::string_view rest = gap == std::string_view::npos ? "" : Trim(text.substr(gap));
  if (word == "quit") {
    if (!rest.empty()) return Mistake("quit takes nothing after it");
    command.kind = ConsoleCommand::kQuit;
    return command;
  }
  if (word != "plug" && word != "unplug" && word != "reset") {
    return Mistake("unknown line '" + std::string(text) + "' (plug N, unplug N, reset N or quit)");
  }
  int index = -1;
  const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), index);
  if (rest.empty() || error != std::errc() || end != rest.data() + rest.size() || index < 0 ||
      index > kHighestDeviceIndex) {
    return Mistake(std::string(word) + " takes a device index 0 to 255");
  }
  command.kind = word == "plug"    ? ConsoleCommand::kPlug
                 : word == "reset" ? ConsoleCommand::kReset
                                   : ConsoleCommand::kUnplug;
  command.index = index;
  return command;
}

bool ConsoleLines::Next(std::string* line) {
  const size_t end = pending_.find('\n');
  if (end == std::string::npos) return false;
  *line = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  return true;
}

std::string ConsoleLines::Rest() {
  std::string rest;
  rest.swap(pending_);
  return rest;
}
