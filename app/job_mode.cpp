// READ, WRITE and UPDATE of a job: the window's procedures run as they
// always do, between the line's decisions before them (the pinned image, the
// claim from the range) and the record after them (the claim settled by
// whether the write request left).
#include "app/job_mode.h"

#include "common/probe_protocol.h"
#include "common/result_codes.h"
#include "firmware/firmware_image.h"
#include "firmware/update_procedure.h"
#include "line/job_load.h"
#include "line/line_status.h"
#include "line/version_wait.h"
#include "messages/message_catalogue.h"
#include "serial/serial_procedures.h"

namespace {

constexpr char kReadCommand[] = "read-serial";
constexpr char kWriteCommand[] = "write-serial";
constexpr char kUpdateCommand[] = "update";
constexpr char kDeclinedText[] = "Declined: the operator answered No.";
constexpr char kFreeAgainText[] = " The number is free again.";
constexpr char kStoppedText[] = "Stopped: the window was closed before the update ended.";
// The version wait moves the bar this far each look, over this range.
constexpr int kWaitBarSteps = 40;
// The wait's messages are looked at this often while it sleeps.
constexpr unsigned kPumpSliceMs = 20;

std::string ResultText(int result) {
  return OneLine(ChooseMessage(result, CodeKind::kResult).text);
}

// The window's clock for the version wait: its messages keep moving (the
// bar, painting), a close asked for meanwhile ends the wait.
class WindowClock : public LineClock {
 public:
  WindowClock(OperatorWindow& window, const bool& closeAsked)
      : window_(window), closeAsked_(closeAsked) {
    window_.SetProgressRange(0, kWaitBarSteps);
  }
  double Seconds() override { return static_cast<double>(::GetTickCount64()) / 1000.0; }
  void Wait(unsigned ms) override {
    step_ = (step_ + 1) % (kWaitBarSteps + 1);
    window_.SetProgressPos(step_);
    const ULONGLONG end = ::GetTickCount64() + ms;
    while (!closeAsked_ && ::GetTickCount64() < end) {
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kPumpSliceMs, QS_ALLINPUT);
    }
  }
  bool Interrupted() override { return closeAsked_; }

 private:
  OperatorWindow& window_;
  const bool& closeAsked_;
  int step_ = 0;
};

}  // namespace

OperationRecord JobMode::NewRecord(const char* command) const {
  OperationRecord record;
  record.command = command;
  return record;
}

void JobMode::Keep(HWND owner, OperationRecord& record, bool requestSent) {
  std::string error;
  const bool settles = recorder_->claimed().has_value();
  if (recorder_->Record(record, requestSent, &error)) return;
  std::string text =
      "The record could not be written to the log " + ledger_->Where() + " (" + error + ").";
  if (settles) text += " The number " + record.serial.value_or("") + " stays spent.";
  ShowJobError(owner, FromUtf8(text));
}

void JobMode::ShowNextFree(OperatorWindow& window) {
  std::optional<std::string> next;
  std::string error;
  // A store that cannot be read now leaves the box empty; the next WRITE
  // says why.
  if (!NextFreeInRange(*ledger_, job_, &next, &error)) next.reset();
  window.SerialNo() = FromUtf8(next.value_or(""));
  window.PushMembers();
}

void JobMode::Note(int code, CodeKind kind) {
  if (kind == CodeKind::kResult) result_ = code;
  if (kind == CodeKind::kMessage && (code == kMsgWriteSucceeded || code == kMsgUpdateSucceeded)) {
    succeeded_ = true;
  }
}

void JobMode::Read(OperatorWindow& window) {
  const double started = Seconds();
  result_.reset();
  ReadSerialNo(window, session_->link);
  OperationRecord record = NewRecord(kReadCommand);
  record.result = result_.value_or(0);
  if (record.result == 0) {
    record.serial = Utf8(window.SerialNo());
  } else {
    record.message = ResultText(record.result);
  }
  record.seconds = Seconds() - started;
  Keep(dialog_, record, false);
}

void JobMode::Write(OperatorWindow& window) {
  const double started = Seconds();
  const RangeClaim claim = recorder_->ClaimInRange(job_);
  if (claim.status != ClaimStatus::kClaimed) {
    OperationRecord record = NewRecord(kWriteCommand);
    if (claim.rangeUsedUp) {
      record.result = kJobRangeUsedUp;
      record.message = RangeUsedUpText(job_) + " No probe was touched.";
      record.seconds = Seconds() - started;
      Keep(dialog_, record, false);
      ShowJobError(dialog_, FromUtf8(record.message));
    } else {
      ShowJobError(dialog_,
                   FromUtf8("The number could not be claimed in the log " + ledger_->Where() +
                            " (" + claim.error + "). No probe was touched."));
    }
    ShowNextFree(window);
    return;
  }
  // The box shows the number claimed, which another station's claims may
  // have moved past the one it showed.
  window.SerialNo() = FromUtf8(claim.serial);
  window.PushMembers();
  result_.reset();
  succeeded_ = false;
  const SerialWriteOutcome outcome = WriteSerialNo(window, session_->link);
  OperationRecord record = NewRecord(kWriteCommand);
  record.serial = claim.serial;
  record.result = outcome.result != 0 ? outcome.result : result_.value_or(0);
  if (!outcome.requestSent && record.result == 0) record.result = kLineDeclined;
  if (record.result == 0) {
    record.message = OneLine(GetMessageText(kMsgWriteSucceeded));
  } else {
    record.message = record.result == kLineDeclined ? kDeclinedText : ResultText(record.result);
    if (!outcome.requestSent) record.message += kFreeAgainText;
  }
  record.seconds = Seconds() - started;
  Keep(dialog_, record, outcome.requestSent);
  ShowNextFree(window);
}

void JobMode::Update(OperatorWindow& window) {
  if (update_ || IsUpdateRunning(*session_)) return;
  updateStarted_ = Seconds();
  OperationRecord record = NewRecord(kUpdateCommand);
  record.file = job_.image;
  record.imageCrc32 = job_.imageCrc32;
  std::string message;
  FirmwareImage pinnedImage;
  if (const int pinned = CheckJobImage(job_, &pinnedImage, &message); pinned != 0) {
    record.result = pinned;
    record.message = message + " Nothing was erased.";
    record.seconds = Seconds() - updateStarted_;
    Keep(dialog_, record, false);
    ShowJobError(dialog_, FromUtf8(record.message));
    return;
  }
  update_ = record;
  result_.reset();
  succeeded_ = false;
  led_.reset();
  versionStatus_ = 0;
  const std::u16string before = StartUpdate(window, *session_);
  if (!before.empty()) update_->firmwareBefore = Utf8(before);
  if (!IsUpdateRunning(*session_)) FinishUpdate();
}

bool JobMode::Tick(OperatorWindow& window, uintptr_t timerId) {
  ++tickDepth_;
  const bool handled = UpdateTimerTick(window, *session_, timerId);
  --tickDepth_;
  // A box a step shows runs its own loop, which may dispatch a tick: the
  // update has ended only once the outermost step has.
  if (update_ && tickDepth_ == 0 && !waiting_ && !IsUpdateRunning(*session_)) FinishUpdate();
  return handled;
}

int JobMode::ConfirmLed(const std::function<int()>& ask) {
  if (job_.led == JobLed::kSkip) {
    led_ = "skipped";
    return kAnswerOk;
  }
  const int answer = ask();
  led_ = answer == kAnswerOk ? "yes" : "no";
  return answer;
}

int JobMode::AfterResetInstruction(HWND dialog, OperatorWindow& window) {
  if (!job_.expectVersion) return 0;
  waiting_ = true;
  closeAsked_ = false;
  const HCURSOR kept = ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
  WindowClock clock(window, closeAsked_);
  const VersionWait wait = WaitForProbeVersion(session_->link, kAnyProbeIndex, *job_.expectVersion,
                                               job_.resetTimeoutSeconds, clock,
                                               update_ ? update_->firmwareBefore : std::nullopt);
  waiting_ = false;
  ::SetCursor(kept);
  versionStatus_ = wait.status;
  if (update_) {
    update_->firmwareAfter = wait.seen;
    update_->message = wait.status == kLineInterrupted ? kStoppedText : wait.message;
  }
  if (wait.status == kLineInterrupted) {
    // The close held back during the wait goes on once the update is over.
    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
  } else if (wait.status != 0) {
    ShowJobError(dialog, FromUtf8(wait.message));
  }
  return wait.status;
}

void JobMode::FinishUpdate(int stopped) {
  OperationRecord record = *update_;
  update_.reset();
  record.led = led_;
  if (stopped != 0) {
    record.result = stopped;
    record.message = kStoppedText;
  } else if (versionStatus_ != 0) {
    record.result = versionStatus_;
  } else if (succeeded_) {
    record.message = OneLine(GetMessageText(kMsgUpdateSucceeded));
  } else {
    // Nothing failed and nothing succeeded: the question was answered No;
    // with no version read, the file could not be opened before it.
    record.result = result_.value_or(record.firmwareBefore ? kLineDeclined : kResultNoFile);
    record.message = record.result == kLineDeclined ? kDeclinedText : ResultText(record.result);
  }
  record.seconds = Seconds() - updateStarted_;
  Keep(dialog_, record, false);
}

bool JobMode::HoldClose() {
  if (!waiting_) return false;
  closeAsked_ = true;
  return true;
}

void JobMode::Closing() {
  if (update_) FinishUpdate(kLineInterrupted);
}
