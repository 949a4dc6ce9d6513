// The window without a job: its buttons and timer go straight to the
// procedures. These are the window's only calls of them, so a change of
// their signatures is made here once.
#include "app/window_mode.h"

#include "firmware/update_procedure.h"
#include "probe/operations.h"
#include "serial/serial_procedures.h"

void WindowMode::Read() {
  ReadSerialNo(window_, session_.link);
}

void WindowMode::Write() {
  WriteSerialNo(window_, session_.link);
}

void WindowMode::Update() {
  StartUpdate(window_, session_);
}

bool WindowMode::Tick(uintptr_t timerId) {
  if (timerId == kRefreshTimerId) {
    Refresh();
    return true;
  }
  return UpdateTimerTick(TickedWindow(), session_, timerId);
}

void WindowMode::Closing() {
  ResetUpdateState(session_);
  CloseProbeIfOpen(session_.link);
}
