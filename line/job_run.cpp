// The job's steps for one probe, over the front-end's window wrapped so the
// run sees what the operator was shown, and the record of each step made by
// one rule whichever front-end ran it.
#include "line/job_run.h"

#include "common/probe_protocol.h"
#include "common/result_codes.h"
#include "firmware/firmware_image.h"
#include "firmware/update_procedure.h"
#include "firmware/verify_procedure.h"
#include "line/job_load.h"
#include "line/job_units.h"
#include "line/line_status.h"
#include "line/mes_probe_events.h"
#include "line/outcome_window.h"
#include "messages/message_catalogue.h"
#include "probe/operations.h"
#include "serial/serial_procedures.h"

namespace {

constexpr char kReadCommand[] = "read-serial";
constexpr char kWriteCommand[] = "write-serial";
constexpr char kStoppedText[] = "Stopped before the update ended.";

std::string ResultText(int result) {
  return OneLine(ChooseMessage(result, CodeKind::kResult).text);
}

// The step's result and message from what the operator was shown.
void TakeOutcome(const OutcomeWindow& window, OperationRecord& record) {
  if (window.failure()) {
    record.result = *window.failure();
    record.message = ResultText(record.result);
  } else if (window.declined()) {
    record.result = kLineDeclined;
    record.message = kJobDeclinedText;
  } else {
    record.result = 0;
    record.message =
        window.lastMessage() ? OneLine(GetMessageText(*window.lastMessage())) : std::string();
  }
}

// Stores the record (settling the open claim by requestSent) and hands it
// to the front-end; a refusal of the store becomes the step's outcome.
JobOutcome Keep(JobHost& host, LineRecorder& recorder, OperationRecord& record, bool requestSent,
                double started) {
  record.seconds = host.Clock().Seconds() - started;
  const std::optional<std::string> claimed = recorder.claimed();
  const bool settles = claimed && record.command == kWriteCommand && record.serial == *claimed;
  JobOutcome outcome;
  std::string error;
  if (!recorder.Record(record, requestSent, &error)) {
    std::string text = "The record could not be written to the log " + recorder.ledger().Where() +
                       " (" + error + ").";
    if (settles) text += " The number " + *claimed + " stays spent.";
    host.ShowError(text);
    // Whatever the step's own result, the run ends on the store.
    record.result = kLineLogFailed;
    record.message += (record.message.empty() ? "" : " ") +
                      std::string("The log could not record it: ") + error + ".";
    outcome.recordFailed = true;
  }
  host.Recorded(record, !outcome.recordFailed);
  outcome.status = record.result;
  outcome.message = record.message;
  outcome.serial = record.serial;
  return outcome;
}

// The open claim given back: its write request never left.
void GiveBack(JobHost& host, LineRecorder& recorder, const char* why, JobOutcome& outcome) {
  std::string error;
  if (!recorder.claimed() || recorder.ReleaseClaim(kWriteCommand, why, outcome.status, &error)) {
    return;
  }
  host.ShowError("The claim could not be given back in the log " + recorder.ledger().Where() +
                 " (" + error + "): the number stays spent.");
  outcome.recordFailed = true;
}

OperationRecord NewRecord(const char* command, const OutcomeWindow& window) {
  OperationRecord record;
  record.command = command;
  record.probe = window.probe();
  return record;
}

// Settles the probe's unit by what its steps did; a store that refuses it
// leaves the unit claimed, which still counts against the cap.
void EndUnit(JobHost& host, LineRecorder& recorder, JobOutcome& outcome) {
  std::string error;
  if (recorder.SettleUnit(outcome.status, &error)) return;
  host.ShowError("The unit could not be settled in the log " + recorder.ledger().Where() + " (" +
                 error + "): it stays counted.");
  outcome.recordFailed = true;
  if (outcome.status == 0) outcome.status = kLineLogFailed;
}

// The probe's unit, claimed before any step touches it (kept when one is
// open). false with the outcome when there is none: every unit held
// (recorded, then said), or the store failed. newProbe: an UPDATE, which
// starts a probe, so a unit an earlier update reached is that probe's, made
// (the window's next UPDATE without a WRITE between).
bool HoldUnit(const LineJob& job, JobHost& host, LineRecorder& recorder, const char* command,
              const OutcomeWindow& window, double started, JobOutcome* outcome,
              bool newProbe = false) {
  if (newProbe && recorder.unitReached()) EndUnit(host, recorder, *outcome);
  if (outcome->recordFailed) return false;
  const RangeClaim claim = recorder.ClaimUnit(job);
  if (claim.status == ClaimStatus::kClaimed) return true;
  if (claim.rangeUsedUp) {
    OperationRecord record = NewRecord(command, window);
    record.result = kJobUnitsUsedUp;
    record.message = UnitsUsedUpText(job) + " No probe was touched.";
    const std::string told = record.message;
    *outcome = Keep(host, recorder, record, false, started);
    host.ShowError(told);
    return false;
  }
  outcome->status = kLineLogFailed;
  outcome->message = "The unit could not be claimed in the log " + recorder.ledger().Where() +
                     " (" + claim.error + "). No probe was touched.";
  outcome->recordFailed = true;
  host.ShowError(outcome->message);
  return false;
}

}  // namespace

JobOutcome JobRun::Read(ProbeSession& session, JobHost& host, LineRecorder& recorder) const {
  const double started = host.Clock().Seconds();
  OutcomeWindow window(host.Window(), true, nullptr);
  ReadSerialNo(window, session.link);
  OperationRecord record = NewRecord(kReadCommand, window);
  TakeOutcome(window, record);
  if (record.result == 0) {
    record.serial = Utf8(window.SerialNo());
    record.message.clear();
  }
  JobOutcome outcome = Keep(host, recorder, record, false, started);
  outcome.opened = window.opened();
  return outcome;
}

JobOutcome JobRun::Update(ProbeSession& session, JobHost& host, LineRecorder& recorder) const {
  const double started = host.Clock().Seconds();
  std::optional<std::string> before;
  std::optional<std::string> after;
  int waited = 0;
  std::string waitText;
  const OutcomeWindow* shown = nullptr;
  const auto afterReset = [&]() {
    if (!job_.expectVersion) return 0;
    const std::string& expected = *job_.expectVersion;
    host.Say("Waiting up to " + std::to_string(job_.resetTimeoutSeconds) +
             " s for the probe to answer version " + expected + "...");
    host.VersionWaitBegins();
    const int index = shown != nullptr ? shown->opened() : kAnyProbeIndex;
    const VersionWait wait = WaitForProbeVersion(session.link, index, expected,
                                                 job_.resetTimeoutSeconds, host.Clock(), before);
    after = wait.seen;
    waited = wait.status;
    waitText = wait.message;
    if (wait.status == 0) {
      host.Say("The probe answers version " + expected + ".");
    } else if (wait.status != kLineInterrupted) {
      host.ShowError(wait.message);
    }
    return wait.status;
  };
  OutcomeWindow window(host.Window(), job_.led == JobLed::kSkip, afterReset);
  shown = &window;
  OperationRecord record;
  record.command = kJobUpdateCommand;
  record.file = job_.image;
  record.imageCrc32 = job_.imageCrc32;
  JobOutcome outcome;
  if (!HoldUnit(job_, host, recorder, kJobUpdateCommand, window, started, &outcome, true)) {
    return outcome;
  }
  if (!image_) {
    record.result = kImageNotPinned;
    record.message = "The job's image is not pinned: no probe was touched.";
    outcome = Keep(host, recorder, record, false, started);
    EndUnit(host, recorder, outcome);
    return outcome;
  }
  session.image = image_;
  session.imagePinned = true;
  // The probe that holds the image already is left as it is.
  VerifyRun compare;
  const int code = ReadBackWhole(
      session, &compare, window.ChosenProbe(), [&] { return host.Interrupted(); },
      [&](int verified, int units) { host.Progress(verified, units); });
  if (compare.probeVersion != 0) before = ProbeVersionText(compare.probeVersion);
  if (code == 0) {
    record = NewRecord(kJobUpdateCommand, window);
    record.file = job_.image;
    record.imageCrc32 = job_.imageCrc32;
    record.firmwareBefore = before;
    record.alreadyThere = true;
    record.message = kJobAlreadyThereText;
    host.Say(kJobAlreadyThereText);
    outcome = Keep(host, recorder, record, false, started);
    outcome.opened = window.opened();
    // Nothing was written: the unit waits for the write, or goes back.
    if (!job_.writeSerial || outcome.status != 0) EndUnit(host, recorder, outcome);
    return outcome;
  }
  if (code == kResultFlashVerify) {
    host.Say(kJobDiffersText);
  } else if (code != kVerifyStopped) {
    ShowMessage(window, code, CodeKind::kResult);
  }
  if (!window.failure() && !host.Interrupted()) {
    // The window shows the job's image; the update programs the pinned one.
    window.FileName() = FromUtf8(job_.image);
    window.PushMembers();
    const std::u16string version = StartUpdate(window, session);
    if (!version.empty()) before = Utf8(version);
    if (IsUpdateRunning(session)) host.DriveUpdate(window, session);
    // Stopped between two steps: the update is abandoned, the probe closed.
    if (IsUpdateRunning(session)) ResetUpdateState(session);
  }
  record.probe = window.probe();
  record.firmwareBefore = before;
  TakeOutcome(window, record);
  record.led = window.led();
  record.firmwareAfter = after;
  if (host.Interrupted() && record.result == 0 && !window.lastMessage()) {
    record.result = kLineInterrupted;
    record.message = kStoppedText;
  } else if (waited != 0) {
    record.result = waited;
    record.message = waited == kLineInterrupted ? std::string(kStoppedText) : waitText;
  } else if (record.result == 0 && !window.lastMessage()) {
    // Neither failed nor succeeded: the question was not answered yes.
    record.result = kLineDeclined;
    record.message = kJobDeclinedText;
  }
  if (record.result == 0 && record.led == std::optional<std::string>("skipped")) {
    host.Say(kJobLedSkippedText);
  }
  // Once the question was answered yes the erase may have left.
  if (window.agreed()) recorder.UnitReached();
  outcome = Keep(host, recorder, record, false, started);
  outcome.opened = window.opened();
  outcome.agreed = window.agreed();
  if (!job_.writeSerial || outcome.status != 0) EndUnit(host, recorder, outcome);
  return outcome;
}

JobOutcome JobRun::Write(ProbeSession& session, JobHost& host, LineRecorder& recorder) const {
  const double started = host.Clock().Seconds();
  OutcomeWindow window(host.Window(), true, nullptr);
  JobOutcome outcome;
  if (!HoldUnit(job_, host, recorder, kWriteCommand, window, started, &outcome)) return outcome;
  if (!recorder.claimed()) {
    const RangeClaim claim = recorder.ClaimInRange(job_);
    if (claim.status != ClaimStatus::kClaimed) {
      OperationRecord record = NewRecord(kWriteCommand, window);
      if (claim.rangeUsedUp) {
        record.result = kJobRangeUsedUp;
        record.message = RangeUsedUpText(job_) + " No probe was touched.";
        const std::string told = record.message;
        // Recorded before the operator is told: a window closed at the
        // box still leaves the record.
        outcome = Keep(host, recorder, record, false, started);
        EndUnit(host, recorder, outcome);
        host.ShowError(told);
        return outcome;
      }
      outcome.status = kLineLogFailed;
      outcome.message = "The number could not be claimed in the log " + recorder.ledger().Where() +
                        " (" + claim.error + "). No probe was touched.";
      outcome.recordFailed = true;
      EndUnit(host, recorder, outcome);
      host.ShowError(outcome.message);
      return outcome;
    }
  }
  const std::string number = *recorder.claimed();
  window.SerialNo() = FromUtf8(number);
  window.PushMembers();
  const SerialWriteOutcome written = WriteSerialNo(window, session.link);
  OperationRecord record = NewRecord(kWriteCommand, window);
  record.serial = number;
  TakeOutcome(window, record);
  if (written.result != 0) {
    record.result = written.result;
    record.message = ResultText(written.result);
  }
  if (!written.requestSent && record.result == 0) {
    record.result = kLineDeclined;
    record.message = kJobDeclinedText;
  }
  if (!written.requestSent) record.message += kJobFreeAgainText;
  if (written.requestSent) recorder.UnitReached();
  outcome = Keep(host, recorder, record, written.requestSent, started);
  outcome.opened = window.opened();
  outcome.agreed = window.agreed();
  EndUnit(host, recorder, outcome);
  return outcome;
}

JobOutcome JobRun::RunProbe(ProbeSession& session, JobHost& host, LineRecorder& recorder) const {
  if (events_ == nullptr) return RunSteps(session, host, recorder);
  JobOutcome outcome;
  if (!events_->Ready(host, &outcome)) {
    GiveBack(host, recorder, outcome.message.c_str(), outcome);
    return outcome;
  }
  const std::string started = recorder.NowUtc();
  RecordKeepingHost kept(host);
  outcome = RunSteps(session, kept, recorder);
  events_->Finish(*this, host, recorder, kept.records, started, outcome);
  return outcome;
}

JobOutcome JobRun::RunSteps(ProbeSession& session, JobHost& host, LineRecorder& recorder) const {
  JobOutcome outcome;
  // The unit first: with every unit held no number is claimed either.
  if (!HoldUnit(job_, host, recorder, job_.update ? kJobUpdateCommand : kWriteCommand,
                OutcomeWindow(host.Window(), true, nullptr), host.Clock().Seconds(), &outcome)) {
    GiveBack(host, recorder, kJobUnitsUsedUpText, outcome);
    return outcome;
  }
  if (job_.update) {
    outcome = Update(session, host, recorder);
    if (outcome.status != 0) {
      GiveBack(host, recorder, kJobUpdateFailedText, outcome);
      return outcome;
    }
  }
  if (!job_.writeSerial) return outcome;
  if (host.Interrupted()) {
    outcome.status = kLineInterrupted;
    GiveBack(host, recorder, kJobStoppedText, outcome);
    EndUnit(host, recorder, outcome);
    return outcome;
  }
  const bool agreed = outcome.agreed;
  const int opened = outcome.opened;
  outcome = Write(session, host, recorder);
  outcome.agreed = outcome.agreed || agreed;
  if (outcome.opened == kAnyProbeIndex) outcome.opened = opened;
  return outcome;
}
