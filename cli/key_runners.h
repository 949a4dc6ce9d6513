// The product owner's commands: make a signing key, show a key file's id,
// sign a job. They touch no probe and no store.
#pragma once

#include "cli/runners.h"

int RunKeyNew(RunContext& context);
int RunKeyShow(RunContext& context);
int RunJobSign(RunContext& context);
