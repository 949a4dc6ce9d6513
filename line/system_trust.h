// The Windows programs' side of job trust: the trusted-keys folder beside
// the running program (its GetModuleFileNameW folder, so Ostrelin.exe and
// ostrelin-cli.exe installed together trust the same keys), keys and
// signatures through CNG with the user's data protection, and the clock.
#pragma once

#include "line/job_trust.h"
#include "line/key_crypto.h"

KeyCrypto& SystemKeyCrypto();
KeyFolder& ProgramKeyFolder();
// The folder, the system's verifier and the time now.
JobTrustContext ProgramTrustContext();
