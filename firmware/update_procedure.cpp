// UPDATE and the steps that timer 0 runs, one per tick, so that the window
// keeps painting its progress bar between them. One update at a time; its
// state lives here from the confirmed question to the last step.
#include "firmware/update_procedure.h"

#include <string>

#include "common/result_codes.h"
#include "firmware/firmware_image.h"
#include "firmware/unit_steps.h"
#include "messages/message_catalogue.h"
#include "messages/operator_window.h"
#include "probe/operations.h"

namespace {

// Progress steps reserved for the erase, and the most polls it is granted:
// 240 polls at 500 ms give a slow flash two minutes.
constexpr int16_t kEraseAllowance = 240;
// Beyond two steps per unit the tail holds the two steps of Start and the
// hundred ticks of Confirm that run the bar to its end.
constexpr int16_t kTailExtra = 102;
constexpr int32_t kStartPosition = 2;

constexpr unsigned kConfirmedPeriodMs = 1;
constexpr unsigned kErasePollPeriodMs = 500;
constexpr unsigned kTransferPeriodMs = 1;
constexpr unsigned kConfirmPeriodMs = 50;

constexpr char16_t kAskUpdateEnd[] = u" of Velkoro?";
constexpr char16_t kCannotOpenText[] = u"The file could not be opened: ";
constexpr char16_t kErrorCaption[] = u"ERROR";

// Per thread: each probe of a tray runs its own update on its own thread.
thread_local UpdateState g_updateState = UpdateState::Start;
thread_local int16_t g_unitCounter = 0;
thread_local int16_t g_tailCount = 0;
thread_local int16_t g_eraseAllowance = kEraseAllowance;
thread_local int16_t g_eraseCountdown = 0;
thread_local int32_t g_progressPos = 0;
// Ticks are honoured only while an update runs and no step is under way: a
// tick already queued when the timer stopped, or one dispatched by the own
// message loop of a box a step shows, finds nothing to do.
thread_local bool g_updateRunning = false;
thread_local bool g_stepRunning = false;

void SetProgress(OperatorWindow& window, int32_t position) {
  g_progressPos = position;
  window.SetProgressPos(position);
}

void RestartTimer(OperatorWindow& window, unsigned periodMs) {
  window.StopTimer0();
  window.StartTimer0(periodMs);
}

void FailUpdate(OperatorWindow& window, int result) {
  window.StopTimer0();
  g_updateRunning = false;
  ShowMessage(window, result, CodeKind::kResult);
  CloseProbeIfOpen();
  window.SetControlState(Idle);
}

// 0 when the file is read and the probe may be updated; otherwise the result
// code to report, or kFirmwareFileNotOpened (reported by the file's name in a
// box of its own).
int CheckFileAndProbe(const std::u16string& fileName, char16_t versionText[4],
                      const ProbeChoice& choice) {
  if (const int file = CheckFirmwareFile(fileName); file != 0) return file;
  int result = 0;
  if (CheckProbeForUpdate(versionText, &result, choice) != 0) return result;
  return 0;
}

void RunStart(OperatorWindow& window) {
  RewindTransferUnits();
  const int units = CountTransferUnits();
  g_unitCounter = static_cast<int16_t>(units);
  g_tailCount = static_cast<int16_t>(2 * units + kTailExtra);
  window.SetProgressRange(0, kEraseAllowance + g_tailCount);
  g_eraseCountdown = kEraseAllowance;
  g_eraseAllowance = kEraseAllowance;
  g_updateState = UpdateState::EraseWait;
  SetProgress(window, kStartPosition);

  if (int opened = OpenProbeForUpdate(window.ChosenProbe()); opened != 0)
    return FailUpdate(window, opened);
  RestartTimer(window, kErasePollPeriodMs);
  if (int erase = StartProbeErase(); erase != 0) return FailUpdate(window, erase);
}

void RunEraseWait(OperatorWindow& window) {
  int result = 0;
  switch (PollProbeErase(&result)) {
    case kErasePending:
      SetProgress(window, g_progressPos + 1);
      if (--g_eraseCountdown <= 0) {
        EndEraseWatch();
        FailUpdate(window, kResultNotReceived);
      }
      return;
    case 0:
      SetProgress(window, g_eraseAllowance + kStartPosition);
      g_updateState = UpdateState::Program;
      EndEraseWatch();
      RestartTimer(window, kTransferPeriodMs);
      return;
    case 1:
      EndEraseWatch();
      FailUpdate(window, result);
      return;
    default:
      EndEraseWatch();
      FailUpdate(window, kResultNotReceived);
      return;
  }
}

void RunProgram(OperatorWindow& window) {
  int result = 0;
  if (ProgramNextUnit(&result) != 0) return FailUpdate(window, result);
  SetProgress(window, g_progressPos + 1);
  if (--g_unitCounter <= 0) {
    g_unitCounter = static_cast<int16_t>(CountTransferUnits());
    g_updateState = UpdateState::Verify;
    RewindTransferUnits();
  }
}

void RunVerify(OperatorWindow& window) {
  int result = 0;
  if (VerifyNextUnit(&result) != 0) return FailUpdate(window, result);
  SetProgress(window, g_progressPos + 1);
  if (--g_unitCounter <= 0) {
    g_unitCounter = static_cast<int16_t>(CountTransferUnits());
    g_updateState = UpdateState::Finish;
  }
}

void RunFinish(OperatorWindow& window) {
  int result = 0;
  if (ExecuteProbeUpdate(&result) != 0) return FailUpdate(window, result);
  if (CloseProbeAfterUpdate(&result) != 0) return FailUpdate(window, kResultCloseFailed);
  g_updateState = UpdateState::Confirm;
  RestartTimer(window, kConfirmPeriodMs);
}

void RunConfirm(OperatorWindow& window) {
  SetProgress(window, g_progressPos + 1);
  if (g_progressPos < g_eraseAllowance + g_tailCount) return;

  window.StopTimer0();
  g_updateRunning = false;
  const int answer = window.ShowConfirmDialog();
  ShowMessage(window, kMsgPushResetSwitch, CodeKind::kMessage);
  if (answer == kAnswerOk) {
    if (window.AfterResetInstruction() == 0) {
      ShowMessage(window, kMsgUpdateSucceeded, CodeKind::kMessage);
    }
    window.SetControlState(Idle);
  } else {
    FailUpdate(window, kResultLedRejected);
  }
}

}  // namespace

std::u16string StartUpdate(OperatorWindow& window) {
  // The disabled controls already prevent a second start.
  if (g_updateRunning) return {};
  window.PullMembers();
  window.SetControlState(Updating);

  char16_t versionText[4] = {};
  const int check = CheckFileAndProbe(window.FileName(), versionText, window.ChosenProbe());
  if (check == kFirmwareFileNotOpened) {
    window.MessageBox(kCannotOpenText + window.FileName(), kErrorCaption,
                      kStyleOk | kStyleExclamation);
    window.SetControlState(Idle);
  } else if (check != 0) {
    ShowMessage(window, check, CodeKind::kResult);
    // Only a failed close leaves the probe open here; try once more so the
    // next procedure can open it.
    CloseProbeIfOpen();
    window.SetControlState(Idle);
  } else {
    const std::u16string question = GetMessageText(kMsgAskUpdate) + versionText + kAskUpdateEnd;
    const int answer = window.MessageBox(question, GetMessageCaption(kMsgAskUpdate),
                                         GetMessageStyle(kMsgAskUpdate));
    if (answer == kAnswerOk) {
      g_updateState = UpdateState::Start;
      g_updateRunning = true;
      window.StartTimer0(kConfirmedPeriodMs);
    } else {
      window.SetControlState(Idle);
    }
  }

  window.PushMembers();
  return std::u16string(versionText);
}

bool UpdateTimerTick(OperatorWindow& window, uintptr_t timerId) {
  if (timerId != kUpdateTimerId) return false;
  if (!g_updateRunning || g_stepRunning) return true;

  g_stepRunning = true;
  window.PullMembers();
  switch (g_updateState) {
    case UpdateState::Start:
      RunStart(window);
      break;
    case UpdateState::EraseWait:
      RunEraseWait(window);
      break;
    case UpdateState::Program:
      RunProgram(window);
      break;
    case UpdateState::Verify:
      RunVerify(window);
      break;
    case UpdateState::Finish:
      RunFinish(window);
      break;
    case UpdateState::Confirm:
      RunConfirm(window);
      break;
  }
  window.PushMembers();
  g_stepRunning = false;
  return true;
}

void ResetUpdateState() {
  if (g_updateRunning) {
    if (g_updateState == UpdateState::EraseWait) EndEraseWatch();
    CloseProbeIfOpen();
  }
  g_updateState = UpdateState::Start;
  g_unitCounter = 0;
  g_tailCount = 0;
  g_eraseAllowance = kEraseAllowance;
  g_eraseCountdown = 0;
  g_progressPos = 0;
  g_updateRunning = false;
  g_stepRunning = false;
}

bool IsUpdateRunning() {
  return g_updateRunning;
}

UpdateState CurrentUpdateState() {
  return g_updateState;
}
