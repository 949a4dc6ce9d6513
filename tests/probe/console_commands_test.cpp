// The emulator's console lines: which lines it takes, and that lines split
// across reads, or ended by CR LF as a console gives them, arrive whole.
#include "emulator/console_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ConsoleLine, IsTakenOrRefusedWithAReason) {
  const struct {
    const char* line;
    ConsoleCommand::Kind kind;
    int index;
  } rows[] = {
      {"unplug 0", ConsoleCommand::kUnplug, 0},
      {"  plug\t255 \r\n", ConsoleCommand::kPlug, 255},
      {"reset 7", ConsoleCommand::kReset, 7},
      {"quit\r", ConsoleCommand::kQuit, -1},
      {"", ConsoleCommand::kNone, -1},
      {" \r\n", ConsoleCommand::kNone, -1},
      {"plug 256", ConsoleCommand::kMistake, -1},
      {"plug -1", ConsoleCommand::kMistake, -1},
      {"unplug", ConsoleCommand::kMistake, -1},
      {"unplug 1 2", ConsoleCommand::kMistake, -1},
      {"reset", ConsoleCommand::kMistake, -1},
      {"plug 0x1", ConsoleCommand::kMistake, -1},
      {"quit now", ConsoleCommand::kMistake, -1},
      {"PLUG 1", ConsoleCommand::kMistake, -1},
      {"eject 1", ConsoleCommand::kMistake, -1},
  };
  for (const auto& row : rows) {
    const ConsoleCommand command = ParseConsoleLine(row.line);
    EXPECT_EQ(command.kind, row.kind) << row.line;
    EXPECT_EQ(command.index, row.index) << row.line;
    EXPECT_EQ(command.error.empty(), row.kind != ConsoleCommand::kMistake) << row.line;
  }
}

TEST(ConsoleLine, ArrivesWholeWhateverTheChunks) {
  ConsoleLines lines;
  std::vector<std::string> got;
  std::string line;
  for (const char* chunk : {"unpl", "ug 3\r\nplug 3\r", "\nqu", "it"}) {
    lines.Add(chunk);
    while (lines.Next(&line)) got.push_back(line);
  }
  EXPECT_EQ(got, (std::vector<std::string>{"unplug 3\r", "plug 3\r"}));
  EXPECT_EQ(lines.Rest(), "quit");
  EXPECT_EQ(lines.Rest(), "");
}

}  // namespace
