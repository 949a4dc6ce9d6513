// VelkoroEmulator: serves emulated Velkoro probes at the real device paths
// until its standard input closes or says quit; plug and unplug lines on it
// pull and put back a probe's cable, a reset line presses its reset switch.
// See --help.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "emulator/console_commands.h"
#include "emulator/emulator_options.h"
#include "emulator/pipe_host.h"

namespace {

constexpr DWORD kStdinChunkBytes = 256;

std::u16string ToU16(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

const wchar_t* ToWide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

void WriteOut(FILE* stream, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

// Carries out one console line; false once the line asks to end.
bool Obey(const std::string& line, const std::vector<std::unique_ptr<PipeHost>>& hosts,
          const std::vector<int>& indices) {
  const ConsoleCommand command = ParseConsoleLine(line);
  switch (command.kind) {
    case ConsoleCommand::kNone:
      return true;
    case ConsoleCommand::kQuit:
      return false;
    case ConsoleCommand::kMistake:
      WriteOut(stderr, "VelkoroEmulator: " + command.error + "\n");
      return true;
    case ConsoleCommand::kPlug:
    case ConsoleCommand::kUnplug:
    case ConsoleCommand::kReset:
      break;
  }
  const bool plug = command.kind == ConsoleCommand::kPlug;
  const std::string index = std::to_string(command.index);
  for (size_t i = 0; i < hosts.size() && i < indices.size(); ++i) {
    if (indices[i] != command.index) continue;
    if (command.kind == ConsoleCommand::kReset) {
      if (hosts[i]->PressReset()) {
        WriteOut(stdout, "reset " + index + "\n");
      } else {
        WriteOut(stderr, "VelkoroEmulator: probe " + index + " could not be reset\n");
      }
      return true;
    }
    if (hosts[i]->SetPlugged(plug)) {
      WriteOut(stdout, (plug ? "plugged " : "unplugged ") + index + "\n");
    } else {
      WriteOut(stderr, "VelkoroEmulator: probe " + index + " could not be " +
                           (plug ? "plugged in" : "unplugged") + "\n");
    }
    return true;
  }
  WriteOut(stderr, "VelkoroEmulator: no probe is served at index " + index + "\n");
  return true;
}

// Takes console lines until "quit", or until standard input ends or breaks.
void RunConsole(const std::vector<std::unique_ptr<PipeHost>>& hosts,
                const std::vector<int>& indices) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return;
  ConsoleLines lines;
  char chunk[kStdinChunkBytes];
  for (;;) {
    DWORD got = 0;
    const bool more = ReadFile(input, chunk, sizeof chunk, &got, nullptr) && got > 0;
    if (more) lines.Add(std::string_view(chunk, got));
    std::string line;
    while (lines.Next(&line)) {
      if (!Obey(line, hosts, indices)) return;
    }
    if (!more) {
      Obey(lines.Rest(), hosts, indices);
      return;
    }
  }
}

bool DumpFlash(const std::u16string& path, const std::vector<std::unique_ptr<PipeHost>>& hosts) {
  FILE* file = _wfopen(ToWide(path), L"wb");
  if (file == nullptr) return false;
  bool ok = true;
  for (const auto& host : hosts) {
    const std::vector<uint8_t>& flash = host->Model().Flash();
    ok = ok && std::fwrite(flash.data(), 1, flash.size(), file) == flash.size();
  }
  return std::fclose(file) == 0 && ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // "ready" and the help go out as written, with no carriage returns added.
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::u16string> args;
  for (int i = 1; i < argc; ++i) args.push_back(ToU16(argv[i]));
  EmulatorOptions options;
  std::string error;
  if (!ParseEmulatorOptions(args, &options, &error)) {
    WriteOut(stderr, "VelkoroEmulator: " + error + "\n");
    return 2;
  }
  if (options.help) {
    WriteOut(stdout, EmulatorHelpText());
    return 0;
  }

  FILE* transcript = nullptr;
  if (!options.transcriptPath.empty()) {
    transcript = _wfopen(ToWide(options.transcriptPath), L"wb");
    if (transcript == nullptr) {
      WriteOut(stderr, "VelkoroEmulator: cannot write the transcript file\n");
      return 2;
    }
  }
  std::mutex transcriptLock;
  auto writeLine = [&](const std::string& line) {
    if (transcript == nullptr) return;
    std::lock_guard<std::mutex> hold(transcriptLock);
    WriteOut(transcript, line + "\n");
  };

  const ULONGLONG start = GetTickCount64();
  std::vector<std::unique_ptr<PipeHost>> hosts;
  int exitCode = 0;
  for (size_t i = 0; i < options.probes.size(); ++i) {
    const int index = options.probes[i];
    hosts.push_back(
        std::make_unique<PipeHost>(index, SettingsForProbe(options, i), start, writeLine));
    if (!hosts.back()->Start(&error)) {
      WriteOut(stderr, "VelkoroEmulator: device " + std::to_string(index) + ": " + error + "\n");
      exitCode = 1;
      break;
    }
  }
  if (exitCode == 0) {
    WriteOut(stdout, "ready\n");
    RunConsole(hosts, options.probes);
  }
  for (auto& host : hosts) host->Stop();
  if (exitCode == 0 && !options.dumpFlashPath.empty() && !DumpFlash(options.dumpFlashPath, hosts)) {
    WriteOut(stderr, "VelkoroEmulator: cannot write the flash dump\n");
    exitCode = 1;
  }
  hosts.clear();
  if (transcript != nullptr) std::fclose(transcript);
  return exitCode;
}
