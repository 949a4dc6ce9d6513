// A probe's event from its records, and the outbox's part in a probe's run.
#include "line/mes_probe_events.h"

#include "line/line_status.h"

namespace {

constexpr int64_t kMsPerMinute = 60 * 1000;

}  // namespace

MesEvent MakeProbeEvent(const LineJob& job, const LogContext& context,
                        const std::vector<OperationRecord>& records, const JobOutcome& outcome) {
  MesEvent event;
  event.job = JobTag(job);
  if (job.signature) event.keyId = job.signature->keyId;
  event.imageSha256 = job.imageSha256;
  event.station = context.station;
  event.toolVersion = context.toolVersion;
  event.slot = outcome.opened;
  event.result = outcome.status;
  event.message = outcome.message;
  if (outcome.serial) event.serial = *outcome.serial;
  for (const OperationRecord& record : records) {
    if (event.slot < 0 && record.probe) event.slot = *record.probe;
    if (event.serial.empty() && record.serial) event.serial = *record.serial;
    if (record.firmwareBefore) event.firmwareBefore = *record.firmwareBefore;
    if (record.firmwareAfter) event.firmwareAfter = *record.firmwareAfter;
    // Left as it was: the version after is the version before.
    if (record.alreadyThere && record.firmwareBefore) event.firmwareAfter = *record.firmwareBefore;
    // The probe's last record line is the one its event vouches for.
    if (record.chain) event.chain = *record.chain;
  }
  return event;
}

std::string MesNoticeText(const MesOutboxStatus& status, int64_t nowMs) {
  if (!status.oldestMs || nowMs - *status.oldestMs < kMesShowAfterMs) return {};
  return MesWaitingText(status, nowMs);
}

MesProbeEvents::MesProbeEvents(MesOutbox& outbox, int holdMinutes, std::function<void()> wrote,
                               std::function<int64_t()> nowMs)
    : outbox_(outbox),
      holdMinutes_(holdMinutes),
      wrote_(std::move(wrote)),
      nowMs_(std::move(nowMs)) {}

bool MesProbeEvents::Ready(JobHost& host, JobOutcome* refused, MesHold hold) {
  MesOutboxStatus status = outbox_.Status();
  const auto age = [&] { return status.oldestMs ? nowMs_() - *status.oldestMs : 0; };
  const std::string waiting = MesNoticeText(status, nowMs_());
  if (!waiting.empty()) host.Say(waiting + ".");
  bool told = false;
  while (hold != MesHold::kStarted && holdMinutes_ > 0 && age() > holdMinutes_ * kMsPerMinute) {
    const std::string held = "Held: the oldest event the MES has not confirmed is " +
                             std::to_string(age() / kMsPerMinute) + " min old and the job allows " +
                             std::to_string(holdMinutes_) +
                             " min: no new probe starts until the MES takes it.";
    if (hold == MesHold::kRefuse) {
      refused->status = kLineHeld;
      refused->message = held + " No probe was touched.";
      host.ShowError(refused->message);
      return false;
    }
    if (!told) host.Held(held);
    told = true;
    if (host.Interrupted()) {
      host.Held("");
      refused->status = kLineInterrupted;
      refused->message = "Stopped while held for the MES: no probe was touched.";
      return false;
    }
    host.Clock().Wait(kMesHoldLookMs);
    status = outbox_.Status();
  }
  if (told) {
    host.Held("");
    host.Say("The MES has caught up: the probe starts.");
  }
  std::string error;
  if (outbox_.CheckWritable(&error)) return true;
  refused->status = kLineLogFailed;
  refused->message = "The MES outbox " + outbox_.folder().string() + " cannot be written (" +
                     error + "): no probe was touched.";
  refused->recordFailed = true;
  host.ShowError(refused->message);
  return false;
}

void MesProbeEvents::Finish(const JobRun& run, JobHost& host, const LineRecorder& recorder,
                            const std::vector<OperationRecord>& records,
                            const std::string& startedUtc, JobOutcome& outcome) {
  MesEvent event = MakeProbeEvent(run.job(), recorder.context(), records, outcome);
  event.eventId = NewMesEventId();
  event.startedUtc = startedUtc;
  const int64_t now = nowMs_();
  event.endedUtc = UtcTextOf(now);
  std::string error;
  bool kept = true;
  if (!event.serial.empty()) {
    std::lock_guard<std::mutex> lock(mutex_);
    event.attempt = outbox_.NextAttempt(event.serial, &error);
    kept = event.attempt > 0;
  }
  if (!kept || !outbox_.Put(event, now, &error)) {
    const std::string text = "The MES event could not be written to " + outbox_.folder().string() +
                             " (" + error + "): the run ends.";
    host.ShowError(text);
    outcome.status = kLineLogFailed;
    outcome.message += (outcome.message.empty() ? "" : " ") + text;
    outcome.recordFailed = true;
    return;
  }
  if (wrote_) wrote_();
}
