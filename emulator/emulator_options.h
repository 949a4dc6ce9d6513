// The emulator program's command line: which device indices to serve, the
// probe's version, serial number, erase time and faults, and the files it
// writes (transcript, flash content at exit).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "emulator/probe_model.h"

// A probe's own version, serial number and faults, given after its --probe.
struct ProbeOverrides {
  std::optional<uint8_t> versionByte;
  std::optional<uint8_t> versionAfter;
  std::optional<std::u16string> serial;
  std::vector<probe_model::Fault> faults;  // beside the faults every probe has
};

struct EmulatorOptions {
  std::vector<int> probes;  // device indices, in the order given
  // What every probe starts from: --version, --version-after, --serial and
  // --fault before the first --probe; --erase-ms, --reset-after-ms and
  // --reset-ms anywhere.
  probe_model::ProbeSettings settings;
  std::vector<ProbeOverrides> overrides;  // one per entry of probes
  std::u16string transcriptPath;          // empty: no transcript
  std::u16string dumpFlashPath;           // empty: no flash dump
  bool help = false;
};

// The settings of the probe at position i of probes: the common settings
// with that probe's own version and serial number, and its own faults added.
probe_model::ProbeSettings SettingsForProbe(const EmulatorOptions& options, size_t i);

// Parses the arguments after the program name. On a mistake returns false
// with a one-line reason in *error.
bool ParseEmulatorOptions(const std::vector<std::u16string>& args, EmulatorOptions* options,
                          std::string* error);
// The text of --help.
std::string EmulatorHelpText();
