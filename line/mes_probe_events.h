// Each probe a job run finishes becomes one event for the line's MES,
// written to the outbox in the same step as the probe's record, before the
// sender can see it. The outbox is proven writable before the probe's first
// step, so a probe is never made that its event could not follow; and with
// the job's hold, no probe starts while the oldest unsent event is older
// than the job allows.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "line/job_run.h"
#include "line/mes_outbox.h"

// How often the hold looks at the outbox again while it holds a probe back.
inline constexpr unsigned kMesHoldLookMs = 1000;
// An unsent event younger than this is the sender's ordinary lag, not worth
// a line to the operator.
inline constexpr int64_t kMesShowAfterMs = 30 * 1000;
// A window looks at its outbox this often for the line it shows.
inline constexpr unsigned kMesShowEveryMs = 5000;

// The line the operator is shown: MesWaitingText while an unsent event is
// older than kMesShowAfterMs; empty otherwise.
std::string MesNoticeText(const MesOutboxStatus& status, int64_t nowMs);

// How Ready meets the job's hold: waited out (the console, the tray),
// refused at once (the window, whose operator presses again), or not at all
// for a probe whose first step it let start already.
enum class MesHold { kWait, kRefuse, kStarted };

class MesProbeEvents {
 public:
  // wrote: called after each event is on disk (the sender's Wake); nowMs:
  // the UTC clock in milliseconds (UtcNowMs in the programs).
  MesProbeEvents(MesOutbox& outbox, int holdMinutes, std::function<void()> wrote,
                 std::function<int64_t()> nowMs = UtcNowMs);

  // Before the probe's first step: the hold, then the outbox proven
  // writable. false with *refused (status and words) when the probe must
  // not start.
  bool Ready(JobHost& host, JobOutcome* refused, MesHold hold = MesHold::kWait);
  // After the probe's steps: its event, from the records the steps made
  // (records) and how they ended. A failure to write it becomes the
  // outcome's failure.
  void Finish(const JobRun& run, JobHost& host, const LineRecorder& recorder,
              const std::vector<OperationRecord>& records, const std::string& startedUtc,
              JobOutcome& outcome);

  MesOutbox& outbox() { return outbox_; }

 private:
  MesOutbox& outbox_;
  int holdMinutes_;
  std::function<void()> wrote_;
  std::function<int64_t()> nowMs_;
  // A tray's probes finish on threads of their own; the attempts' count is
  // kept one caller at a time.
  std::mutex mutex_;
};

// The event of one probe: pure, from what its run recorded.
MesEvent MakeProbeEvent(const LineJob& job, const LogContext& context,
                        const std::vector<OperationRecord>& records, const JobOutcome& outcome);

// The front-end's host, its records also kept for the probe's MES event.
class RecordKeepingHost : public JobHost {
 public:
  explicit RecordKeepingHost(JobHost& host) : host_(host) {}
  OperatorWindow& Window() override { return host_.Window(); }
  void DriveUpdate(OperatorWindow& window, ProbeSession& session) override {
    host_.DriveUpdate(window, session);
  }
  LineClock& Clock() override { return host_.Clock(); }
  bool Interrupted() override { return host_.Interrupted(); }
  void Say(const std::string& text) override { host_.Say(text); }
  void VersionWaitBegins() override { host_.VersionWaitBegins(); }
  void Held(const std::string& text) override { host_.Held(text); }
  void ShowError(const std::string& text) override { host_.ShowError(text); }
  void Recorded(const OperationRecord& record, bool stored) override {
    records.push_back(record);
    host_.Recorded(record, stored);
  }
  void Progress(int done, int total) override { host_.Progress(done, total); }

  std::vector<OperationRecord> records;

 private:
  JobHost& host_;
};
