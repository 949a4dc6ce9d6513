// UPDATE and the steps that timer 0 runs, one per tick, so that the window
// keeps painting its progress bar between them. One update per session; its
// state is the session's from the confirmed question to the last step.
#include "firmware/update_procedure.h"

#include <memory>
#include <string>

#include "common/result_codes.h"
#include "firmware/firmware_image.h"
#include "firmware/probe_session.h"
#include "firmware/unit_steps.h"
#include "messages/message_catalogue.h"
#include "messages/operator_window.h"
#include "probe/operations.h"

namespace {

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

void SetProgress(OperatorWindow& window, UpdateSteps& steps, int32_t position) {
  steps.progressPos = position;
  window.SetProgressPos(position);
}

void RestartTimer(OperatorWindow& window, unsigned periodMs) {
  window.StopTimer0();
  window.StartTimer0(periodMs);
}

void FailUpdate(OperatorWindow& window, ProbeSession& session, int result) {
  window.StopTimer0();
  session.update.running = false;
  ShowMessage(window, result, CodeKind::kResult);
  CloseProbeIfOpen(session.link);
  window.SetControlState(Idle);
}

// The session's image: read from the file into a fresh image, or, pinned, the
// one its caller read and checked (a pin without an image is no file). 0 when
// the probe may be updated; otherwise the result code to report, or
// kFirmwareFileNotOpened (reported by the file's name in a box of its own).
int CheckFile(const std::u16string& fileName, ProbeSession& session) {
  if (session.imagePinned) return session.image ? 0 : kResultNoFile;
  auto image = std::make_shared<FirmwareImage>();
  const int file = CheckFirmwareFile(fileName, image.get());
  session.image = std::move(image);
  return file;
}

int CheckFileAndProbe(const std::u16string& fileName, char16_t versionText[4],
                      ProbeSession& session, const ProbeChoice& choice) {
  if (const int file = CheckFile(fileName, session); file != 0) return file;
  int result = 0;
  if (CheckProbeForUpdate(session.link, versionText, &result, choice) != 0) return result;
  return 0;
}

int CountUnits(const ProbeSession& session) {
  return session.image ? session.image->CountTransferUnits() : 0;
}

void RunStart(OperatorWindow& window, ProbeSession& session) {
  UpdateSteps& steps = session.update;
  Rewind(session.cursor);
  const int units = CountUnits(session);
  steps.unitCounter = static_cast<int16_t>(units);
  steps.tailCount = static_cast<int16_t>(2 * units + kTailExtra);
  window.SetProgressRange(0, kEraseAllowance + steps.tailCount);
  steps.eraseCountdown = kEraseAllowance;
  steps.eraseAllowance = kEraseAllowance;
  steps.state = UpdateState::EraseWait;
  SetProgress(window, steps, kStartPosition);

  if (int opened = OpenProbeForUpdate(session.link, window.ChosenProbe()); opened != 0)
    return FailUpdate(window, session, opened);
  RestartTimer(window, kErasePollPeriodMs);
  if (int erase = StartProbeErase(session.link); erase != 0)
    return FailUpdate(window, session, erase);
}

void RunEraseWait(OperatorWindow& window, ProbeSession& session) {
  UpdateSteps& steps = session.update;
  int result = 0;
  switch (PollProbeErase(session.link, &result)) {
    case kErasePending:
      SetProgress(window, steps, steps.progressPos + 1);
      if (--steps.eraseCountdown <= 0) {
        EndEraseWatch(session.link);
        FailUpdate(window, session, kResultNotReceived);
      }
      return;
    case 0:
      SetProgress(window, steps, steps.eraseAllowance + kStartPosition);
      steps.state = UpdateState::Program;
      EndEraseWatch(session.link);
      RestartTimer(window, kTransferPeriodMs);
      return;
    case 1:
      EndEraseWatch(session.link);
      FailUpdate(window, session, result);
      return;
    default:
      EndEraseWatch(session.link);
      FailUpdate(window, session, kResultNotReceived);
      return;
  }
}

void RunProgram(OperatorWindow& window, ProbeSession& session) {
  UpdateSteps& steps = session.update;
  int result = 0;
  if (ProgramNextUnit(session, &result) != 0) return FailUpdate(window, session, result);
  SetProgress(window, steps, steps.progressPos + 1);
  if (--steps.unitCounter <= 0) {
    steps.unitCounter = static_cast<int16_t>(CountUnits(session));
    steps.state = UpdateState::Verify;
    Rewind(session.cursor);
  }
}

void RunVerify(OperatorWindow& window, ProbeSession& session) {
  UpdateSteps& steps = session.update;
  int result = 0;
  if (VerifyNextUnit(session, &result) != 0) return FailUpdate(window, session, result);
  SetProgress(window, steps, steps.progressPos + 1);
  if (--steps.unitCounter <= 0) {
    steps.unitCounter = static_cast<int16_t>(CountUnits(session));
    steps.state = UpdateState::Finish;
  }
}

void RunFinish(OperatorWindow& window, ProbeSession& session) {
  int result = 0;
  if (ExecuteProbeUpdate(session.link, &result) != 0) return FailUpdate(window, session, result);
  if (CloseProbeAfterUpdate(session.link, &result) != 0)
    return FailUpdate(window, session, kResultCloseFailed);
  session.update.state = UpdateState::Confirm;
  RestartTimer(window, kConfirmPeriodMs);
}

void RunConfirm(OperatorWindow& window, ProbeSession& session) {
  UpdateSteps& steps = session.update;
  SetProgress(window, steps, steps.progressPos + 1);
  if (steps.progressPos < steps.eraseAllowance + steps.tailCount) return;

  window.StopTimer0();
  steps.running = false;
  const int answer = window.ShowConfirmDialog();
  ShowMessage(window, kMsgPushResetSwitch, CodeKind::kMessage);
  if (answer == kAnswerOk) {
    if (window.AfterResetInstruction() == 0) {
      ShowMessage(window, kMsgUpdateSucceeded, CodeKind::kMessage);
    }
    window.SetControlState(Idle);
  } else {
    FailUpdate(window, session, kResultLedRejected);
  }
}

}  // namespace

std::u16string StartUpdate(OperatorWindow& window, ProbeSession& session) {
  // The disabled controls already prevent a second start.
  if (session.update.running) return {};
  window.PullMembers();
  window.SetControlState(Updating);

  char16_t versionText[4] = {};
  const int check =
      CheckFileAndProbe(window.FileName(), versionText, session, window.ChosenProbe());
  if (check == kFirmwareFileNotOpened) {
    window.MessageBox(kCannotOpenText + window.FileName(), kErrorCaption,
                      kStyleOk | kStyleExclamation);
    window.SetControlState(Idle);
  } else if (check != 0) {
    ShowMessage(window, check, CodeKind::kResult);
    // Only a failed close leaves the probe open here; try once more so the
    // next procedure can open it.
    CloseProbeIfOpen(session.link);
    window.SetControlState(Idle);
  } else {
    const std::u16string question = GetMessageText(kMsgAskUpdate) + versionText + kAskUpdateEnd;
    const int answer = window.MessageBox(question, GetMessageCaption(kMsgAskUpdate),
                                         GetMessageStyle(kMsgAskUpdate));
    if (answer == kAnswerOk) {
      session.update.state = UpdateState::Start;
      session.update.running = true;
      window.StartTimer0(kConfirmedPeriodMs);
    } else {
      window.SetControlState(Idle);
    }
  }

  window.PushMembers();
  return std::u16string(versionText);
}

bool UpdateTimerTick(OperatorWindow& window, ProbeSession& session, uintptr_t timerId) {
  if (timerId != kUpdateTimerId) return false;
  UpdateSteps& steps = session.update;
  if (!steps.running || steps.stepRunning) return true;

  steps.stepRunning = true;
  window.PullMembers();
  switch (steps.state) {
    case UpdateState::Start:
      RunStart(window, session);
      break;
    case UpdateState::EraseWait:
      RunEraseWait(window, session);
      break;
    case UpdateState::Program:
      RunProgram(window, session);
      break;
    case UpdateState::Verify:
      RunVerify(window, session);
      break;
    case UpdateState::Finish:
      RunFinish(window, session);
      break;
    case UpdateState::Confirm:
      RunConfirm(window, session);
      break;
  }
  window.PushMembers();
  steps.stepRunning = false;
  return true;
}

void ResetUpdateState(ProbeSession& session) {
  if (session.update.running) {
    if (session.update.state == UpdateState::EraseWait) EndEraseWatch(session.link);
    CloseProbeIfOpen(session.link);
  }
  session.update = UpdateSteps{};
}

bool IsUpdateRunning(const ProbeSession& session) {
  return session.update.running;
}

UpdateState CurrentUpdateState(const ProbeSession& session) {
  return session.update.state;
}
