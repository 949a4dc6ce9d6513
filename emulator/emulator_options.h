// The emulator program's command line: which device indices to serve, the
// probe's version, serial number, erase time and faults, and the files it
// writes (transcript, flash content at exit).
#pragma once

#include <string>
#include <vector>

#include "emulator/probe_model.h"

struct EmulatorOptions {
  std::vector<int> probes;  // device indices, in the order given
  probe_model::ProbeSettings settings;
  std::u16string transcriptPath;  // empty: no transcript
  std::u16string dumpFlashPath;   // empty: no flash dump
  bool help = false;
};

// Parses the arguments after the program name. On a mistake returns false
// with a one-line reason in *error.
bool ParseEmulatorOptions(const std::vector<std::u16string>& args, EmulatorOptions* options,
                          std::string* error);
// The text of --help.
std::string EmulatorHelpText();
