// The whole console program apart from its Win32 edge: the command line, the
// refusal to ask where no one can answer, the log, the command, and the
// JSON and CSV records of what it did.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/console_io.h"
#include "ledger/ledger.h"
#include "line/job_trust.h"
#include "line/key_crypto.h"
#include "line/mes_link.h"

struct CliEnvironment {
  ConsoleIo& io;
  LedgerOpener& ledgers;  // the --log store
  std::string station;
  std::string toolVersion;  // such as 1.0.0.0
  std::string versionText;  // the program's name and version, for --version
  // Keys and signatures, and the trusted-keys folder beside the program;
  // without them (nullptr) no key is trusted and none can be made.
  KeyCrypto* crypto = nullptr;
  KeyFolder* trustedKeys = nullptr;
  // The line's MES: a poster for a job's URL and bearer token (WinHTTP in
  // the program; none: the events wait in the outbox), and the folder a
  // database store's outbox lives under (ProgramData).
  MesPosterMaker mesPoster;
  std::string programData;
};

// Runs the arguments after the program name and returns the exit status.
int RunCli(const std::vector<std::u16string>& args, CliEnvironment& environment);
