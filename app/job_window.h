// The job window's Win32 edge beside the dialog: the --job argument, the
// ERROR box shown before any window, the store's wait, and the station's
// name, version and clock for the records.
#pragma once

// windows.h must come first.
// clang-format off
#include <windows.h>
// clang-format on
#undef MessageBox

#include <string>
#include <vector>

#include "ledger/ledger.h"
#include "ledger/operation_record.h"

// The job file the command line names after --job or /job (any case). false
// with *error when the switch has no file after it; *path stays empty when
// no job is named.
bool FindJobArgument(const std::vector<std::u16string>& args, std::u16string* path,
                     std::u16string* error);
// The program's arguments, as Windows split them.
std::vector<std::u16string> ProgramArguments();
// The ERROR box of a job; with no owner, the one box of a job that cannot
// be used, with no window behind it.
void ShowJobError(HWND owner, const std::u16string& text);

// A store waiting for a program that holds the log keeps the window's
// cursor waiting; the store's own cap ends it.
class WindowLedgerWaiter : public LedgerWaiter {
 public:
  void Say(const std::string&) override {}
  bool Wait(unsigned ms) override;
};

// This PC's name and the program's version, for every record.
LogContext StationContext();
