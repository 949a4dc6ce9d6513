// A slot's steps: look, settle, claim, run, hold the result until the probe
// leaves. Every wait is the gate's, so a close ends it at once; a step under
// way stops at the job run's next step boundary.
#include "app/tray_slot.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "common/result_codes.h"
#include "firmware/update_procedure.h"
#include "ledger/operation_record.h"
#include "line/line_status.h"
#include "messages/message_catalogue.h"
#include "probe/operations.h"
#include "probe/probe_survey.h"

namespace {

// Only the erase poll's period is waited out, as the console does.
constexpr unsigned kPacedPeriodMs = 500;
// Far more ticks than 240 polls, two steps per unit of a full image and the
// run-out ever take: the loop ends whatever the steps do.
constexpr long kMostTicks = 100000;

}  // namespace

void TrayGate::SetPaused(bool paused) {
  std::lock_guard<std::mutex> hold(lock_);
  paused_ = paused;
}

void TrayGate::SetStoreDown(bool down) {
  std::lock_guard<std::mutex> hold(lock_);
  storeDown_ = down;
}

void TrayGate::Stop() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
}

bool TrayGate::MayStart() const {
  std::lock_guard<std::mutex> hold(lock_);
  return !paused_ && !storeDown_ && !stopping_;
}

bool TrayGate::Stopping() const {
  std::lock_guard<std::mutex> hold(lock_);
  return stopping_;
}

bool TrayGate::StoreDown() const {
  std::lock_guard<std::mutex> hold(lock_);
  return storeDown_;
}

void TrayGate::Sleep(unsigned ms) {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait_for(hold, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

double GateClock::Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

SlotWorker::SlotWorker(int index, TrayShared& shared)
    : index_(index),
      shared_(shared),
      recorder_(shared.store, shared.station, shared.timeUtc, shared.run.tag()) {}

SlotWorker::~SlotWorker() {
  CloseProbeIfOpen(session_.link);
}

void SlotWorker::Run() {
  while (!shared_.gate.Stopping()) {
    Step();
    if (shared_.gate.Stopping()) break;
    shared_.clock.Wait(NextLookMs());
  }
  CloseProbeIfOpen(session_.link);
  Let();
  Post(SlotEventKind::kEnded);
}

unsigned SlotWorker::NextLookMs() const {
  if (phase_ != Phase::kSeen) return kSlotLookMs;
  const double left = kSlotSettleMs / 1000.0 - (shared_.clock.Seconds() - seenAt_);
  // Settled, yet not started (paused, the store down): looked at as usual.
  if (left <= 0) return kSlotLookMs;
  return std::min(kSlotLookMs, static_cast<unsigned>(std::ceil(left * 1000)));
}

void SlotWorker::Step() {
  // Another program working this index keeps the slot out, as its hold
  // keeps out a console.
  if (!held_ && !(held_ = shared_.hold.TryHold(index_))) return;
  uint8_t version = 0;
  const int code = ReadVersionAt(session_.link, ProbeChoice{index_}, &version);
  if (code == kResultNoProbe) {
    if (phase_ != Phase::kEmpty) Post(SlotEventKind::kRemoved);
    phase_ = Phase::kEmpty;
    Let();
    return;
  }
  switch (phase_) {
    case Phase::kEmpty: {
      char16_t text[4] = {};
      if (code == 0) FormatProbeVersion(version, text);
      phase_ = Phase::kSeen;
      seenAt_ = shared_.clock.Seconds();
      Post(SlotEventKind::kAttached, SlotState::kAttached, 0, Utf8(text));
      return;
    }
    case Phase::kSeen:
      if (shared_.clock.Seconds() - seenAt_ >= kSlotSettleMs / 1000.0 && shared_.gate.MayStart()) {
        RunOne();
      }
      return;
    case Phase::kHolding:
      return;
  }
}

void SlotWorker::RunOne() {
  const JobRun& run = shared_.run;
  const LineJob& job = run.job();
  lastError_.clear();
  percent_ = -1;
  // The number is claimed, durably, before the probe is touched.
  if (job.writeSerial) {
    const RangeClaim claim = recorder_.ClaimInRange(job);
    if (claim.status != ClaimStatus::kClaimed && !claim.rangeUsedUp) {
      // The probe waits untouched until the store answers again.
      shared_.gate.SetStoreDown(true);
      Post(SlotEventKind::kStoreFailed, SlotState::kEmpty, 0,
           "The store " + shared_.store.Where() + " failed (" + claim.error +
               "): no new probe starts until it answers.");
      return;
    }
    if (claim.rangeUsedUp) {
      phase_ = Phase::kHolding;
      Post(SlotEventKind::kFinished, SlotState::kFail, kJobRangeUsedUp,
           RangeUsedUpText(job) + " No probe was touched.");
      return;
    }
  }
  phase_ = Phase::kHolding;
  SetState(job.update ? SlotState::kUpdating : SlotState::kWriting);
  const JobOutcome outcome = run.RunProbe(session_, *this, recorder_);
  // Whatever path the run took, the probe is let go before its result shows.
  CloseProbeIfOpen(session_.link);
  if (outcome.recordFailed) {
    shared_.gate.SetStoreDown(true);
    Post(SlotEventKind::kStoreFailed, SlotState::kEmpty, 0,
         (lastError_.empty() ? "The store " + shared_.store.Where() + " failed." : lastError_) +
             " No new probe starts until it answers.");
  }
  SlotEvent finished;
  finished.kind = SlotEventKind::kFinished;
  finished.slot = index_;
  finished.value = outcome.status;
  finished.text = outcome.message;
  if (outcome.status == 0) finished.serial = outcome.serial;
  shared_.sink.Post(std::move(finished));
  int64_t left = 0;
  std::string error;
  if (!job.serialFirst.empty() && NumbersLeftInRange(shared_.store, job, &left, &error)) {
    Post(SlotEventKind::kLeft, SlotState::kEmpty, left);
  }
}

void SlotWorker::Post(SlotEventKind kind, SlotState state, int64_t value, std::string text) {
  SlotEvent event;
  event.kind = kind;
  event.slot = index_;
  event.state = state;
  event.value = value;
  event.text = std::move(text);
  shared_.sink.Post(std::move(event));
}

void SlotWorker::SetState(SlotState state) {
  if (state == state_ && state != SlotState::kUpdating) return;
  state_ = state;
  Post(SlotEventKind::kState, state);
}

void SlotWorker::Let() {
  if (held_) shared_.hold.Release(index_);
  held_ = false;
}

void SlotWorker::DriveUpdate(OperatorWindow& window, ProbeSession& session) {
  for (long tick = 0; tick < kMostTicks && IsUpdateRunning(session) && timerRunning_; ++tick) {
    if (timerPeriod_ >= kPacedPeriodMs) shared_.clock.Wait(timerPeriod_);
    if (Interrupted()) return;
    const UpdateState step = CurrentUpdateState(session);
    if (step == UpdateState::Finish || step == UpdateState::Confirm) {
      SetState(SlotState::kResetting);
    }
    UpdateTimerTick(window, session, kUpdateTimerId);
  }
}

void SlotWorker::VersionWaitBegins() {
  SetState(SlotState::kResetting);
}

// The header says why: a tile has no room for it. The tile says the probe
// waits untouched, not that it is worked on.
void SlotWorker::Held(const std::string& text) {
  const bool update = shared_.run.job().update;
  SetState(!text.empty() ? SlotState::kAttached
           : update      ? SlotState::kUpdating
                         : SlotState::kWriting);
  Post(SlotEventKind::kMesHeld, SlotState::kEmpty, 0, text);
}

void SlotWorker::Recorded(const OperationRecord& record, bool stored) {
  if (stored && record.command == kJobUpdateCommand && record.result == 0 &&
      shared_.run.job().writeSerial) {
    SetState(SlotState::kWriting);
  }
}

int SlotWorker::MessageBox(const std::u16string&, const std::u16string&, unsigned style) {
  return (style & 0x0F) == kStyleYesNo ? kAnswerYes : kAnswerOk;
}

// A tray runs only jobs that skip the LED question; asked anyway, it is
// answered as the operator's start of the tray answered the rest.
int SlotWorker::ShowConfirmDialog() {
  return kAnswerOk;
}

void SlotWorker::StartTimer0(unsigned periodMs) {
  timerRunning_ = true;
  timerPeriod_ = periodMs;
}

void SlotWorker::SetProgressRange(int, int upper) {
  progressUpper_ = upper;
}

void SlotWorker::SetProgressPos(int position) {
  if (state_ != SlotState::kUpdating || progressUpper_ <= 0) return;
  const int percent = std::clamp(position * 100 / progressUpper_, 0, 100);
  if (percent == percent_) return;
  percent_ = percent;
  Post(SlotEventKind::kProgress, SlotState::kUpdating, percent);
}
