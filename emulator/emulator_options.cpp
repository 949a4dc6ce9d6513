// The emulator program's command line.
#include "emulator/emulator_options.h"

#include <algorithm>
#include <optional>

namespace {

constexpr uint32_t kLongestEraseMs = 24 * 60 * 60 * 1000;
// A reset, or the wait for an automatic one, longer than this rehearses
// nothing a line sees.
constexpr uint32_t kLongestResetMs = 10 * 60 * 1000;

std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::optional<uint32_t> ParseUnsigned(const std::u16string& text, uint32_t highest) {
  const std::optional<uint32_t> value = probe_model::ParseNumber(Narrow(text));
  if (!value || *value > highest) return std::nullopt;
  return value;
}

}  // namespace

bool ParseEmulatorOptions(const std::vector<std::u16string>& args, EmulatorOptions* options,
                          std::string* error) {
  *options = EmulatorOptions{};
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string name = Narrow(args[i]);
    if (name == "--help" || name == "-h" || name == "/?") {
      options->help = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      *error = name.rfind("--", 0) == 0 ? name + " needs a value" : "unknown argument " + name;
      return false;
    }
    const std::u16string& value = args[++i];
    if (name == "--probe") {
      const auto index = ParseUnsigned(value, kHighestDeviceIndex);
      if (!index) {
        *error = "--probe takes a device index 0 to 255, not " + Narrow(value);
        return false;
      }
      if (std::count(options->probes.begin(), options->probes.end(), *index) != 0) {
        *error = "--probe " + Narrow(value) + " is given twice";
        return false;
      }
      options->probes.push_back(static_cast<int>(*index));
      options->overrides.emplace_back();
    } else if (name == "--version") {
      const auto version = ParseUnsigned(value, 0xFF);
      if (!version) {
        *error = "--version takes a byte such as 0x22, not " + Narrow(value);
        return false;
      }
      if (options->probes.empty()) {
        options->settings.versionByte = static_cast<uint8_t>(*version);
      } else {
        options->overrides.back().versionByte = static_cast<uint8_t>(*version);
      }
    } else if (name == "--version-after") {
      const auto version = ParseUnsigned(value, 0xFF);
      if (!version) {
        *error = "--version-after takes a byte such as 0x23, not " + Narrow(value);
        return false;
      }
      if (options->probes.empty()) {
        options->settings.versionAfter = static_cast<uint8_t>(*version);
      } else {
        options->overrides.back().versionAfter = static_cast<uint8_t>(*version);
      }
    } else if (name == "--reset-after-ms" || name == "--reset-ms") {
      const auto ms = ParseUnsigned(value, kLongestResetMs);
      if (!ms || (name == "--reset-after-ms" && *ms == 0)) {
        *error = name + " takes milliseconds 1 to " + std::to_string(kLongestResetMs) + ", not " +
                 Narrow(value);
        return false;
      }
      (name == "--reset-ms" ? options->settings.resetGoneMs : options->settings.resetAfterMs) = *ms;
    } else if (name == "--serial") {
      if (options->probes.empty()) {
        options->settings.serial = value;
      } else {
        options->overrides.back().serial = value;
      }
    } else if (name == "--erase-ms") {
      const auto ms = ParseUnsigned(value, kLongestEraseMs);
      if (!ms) {
        *error = "--erase-ms takes milliseconds, not " + Narrow(value);
        return false;
      }
      options->settings.eraseMs = *ms;
    } else if (name == "--fault") {
      const auto fault = probe_model::ParseFault(Narrow(value));
      if (!fault) {
        *error = "unknown fault " + Narrow(value) + " (see --help)";
        return false;
      }
      if (options->probes.empty()) {
        options->settings.faults.push_back(*fault);
      } else {
        options->overrides.back().faults.push_back(*fault);
      }
    } else if (name == "--transcript") {
      options->transcriptPath = value;
    } else if (name == "--dump-flash") {
      options->dumpFlashPath = value;
    } else {
      *error = "unknown argument " + name;
      return false;
    }
  }
  if (options->probes.empty()) {
    options->probes.push_back(0);
    options->overrides.emplace_back();
  }
  return true;
}

probe_model::ProbeSettings SettingsForProbe(const EmulatorOptions& options, size_t i) {
  probe_model::ProbeSettings settings = options.settings;
  if (i < options.overrides.size()) {
    const ProbeOverrides& own = options.overrides[i];
    if (own.versionByte) settings.versionByte = *own.versionByte;
    if (own.versionAfter) settings.versionAfter = *own.versionAfter;
    if (own.serial) settings.serial = *own.serial;
    settings.faults.insert(settings.faults.end(), own.faults.begin(), own.faults.end());
  }
  return settings;
}

std::string EmulatorHelpText() {
  return R"(VelkoroEmulator: stands in for Velkoro probes and their USB driver.

Serves each emulated probe at its device path \\.\VelkoroDeviceN, so the
writer tool talks to it as to a real probe. Prints "ready" once every path
is served and runs until its standard input closes (Ctrl+Z then Enter, or
the end of a pipe) or says quit; then it removes the device paths and ends.

Lines on standard input while it serves:
  unplug N           pull the cable of the probe at index N: its path stops
                     opening and a handle open on it fails every transfer;
                     prints "unplugged N" once done
  plug N             put it back: the same serial number and flash; prints
                     "plugged N"
  reset N            press the reset switch of the probe at index N: an open
                     handle fails, the path stops opening for --reset-ms, and
                     after an executed update the probe then reports the
                     --version-after version; prints "reset N" once begun
  quit               end, as the end of input does

Options:
  --probe N          serve device index N (0 to 255); repeat for several
                     probes; default 0
  --version 0xVV     version byte of the version reply; bits 6-4 major,
                     3-0 minor, bit 7 a flag the tool ignores; default 0x22
  --version-after 0xVV
                     version byte the probe reports after it executed an
                     update and was reset; default: the --version one
  --serial TEXT      serial number at start; any text, stored as UTF-16
                     code units; default VELKORO-0001
                     Before any --probe, --version, --version-after,
                     --serial and --fault apply to every probe; after a
                     --probe N, to probe N alone.
  --erase-ms MS      time the flash erase takes before its reply; default 2000
  --reset-after-ms MS
                     the probe resets itself MS after an execute request, as
                     if its reset switch were pressed; default: only "reset N"
  --reset-ms MS      how long a reset keeps the device path from opening (the
                     probe re-enumerating); default 1000
  --fault FAULT      inject a fault; repeat for several (list below)
  --transcript FILE  write every frame in both directions, and every open and
                     close, one line each, as they happen
  --dump-flash FILE  at exit write the flash (655360 bytes per probe, probes
                     in the order of --probe; an erased byte reads FF)
  --help             this text

Faults: FAULT is NAME, NAME:COMMAND, NAME@N or NAME:COMMAND@N. COMMAND limits
the fault to one command (read-serial, read-version, write-serial, erase,
write-flash, read-flash, execute), @N to the Nth request of that command
(1 = first); without them it hits every request.
  no-reply           the request is taken and never answered
  bad-check          a long reply carries a wrong check byte
  short-reply        a long reply's body is cut to half its bytes; a status
                     reply is left out
  wrong-echo         a long reply's first body byte is not the command code
  bad-status         a status reply is 0x31 instead of 0x30
  erase-fails        the erase reply reports a failure (C1 00 00 00 01)
  erase-never-ends   the erase reply never comes
  serial-case        a written serial number is stored in the other letter
                     case (ABC becomes abc)
  flip-bit:OFFSET    when the byte at image OFFSET (decimal or 0x hex) is
                     programmed, its lowest bit is flipped
  disconnect         half of the reply goes out, then the probe drops off;
                     it can be opened again afterwards
  vanish             the request is taken, then the probe is gone as if its
                     cable were pulled (no reply); "plug N" brings it back
  stops-taking       the request is answered, then the probe takes no
                     further byte until it is opened again: the next write
                     never completes

Transcript lines: seconds since start, probe, then "->" for a request to the
probe, "<-" for its reply, "--" for an event (opened, closed, a fault), the
command name and the frame's bytes in hex.

Example: two probes that differ, for a test that picks one of them:
  VelkoroEmulator --probe 0 --serial LINE-A --probe 7 --version 0x21

Example: a probe at index 0 that takes 5 s to erase and fails the second
write flash block request:
  VelkoroEmulator --erase-ms 5000 --fault bad-status:write-flash@2

Example: a probe that vanishes once it has taken the erase request:
  VelkoroEmulator --fault vanish:erase

Example: a probe at 2.2 that comes back at 2.3 half a second after the
update's execute request:
  VelkoroEmulator --version 0x22 --version-after 0x23 --reset-after-ms 500

Example: three probes of which the middle one stores a written serial number
in the other letter case:
  VelkoroEmulator --probe 0 --probe 1 --fault serial-case --probe 2
)";
}
