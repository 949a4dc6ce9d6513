// A job's steps one at a time, as a window's operator starts them: the
// probe they make together found by the unit's rule, and its one event for
// the line's MES written when it ends.
#include "line/job_run.h"
#include "line/mes_probe_events.h"

JobOutcome JobRun::RunStep(Step step, SteppedProbe& probe, ProbeSession& session, JobHost& host,
                           LineRecorder& recorder) const {
  const bool update = step == &JobRun::Update;
  if (events_ == nullptr || (!update && step != &JobRun::Write)) {
    return (this->*step)(session, host, recorder);
  }
  const bool continues = probe.open && !update;
  JobOutcome outcome;
  // Asked before the step claims anything: a refusal has nothing to give back.
  if (!events_->Ready(host, &outcome, continues ? MesHold::kStarted : MesHold::kRefuse)) {
    return outcome;
  }
  if (!continues) {
    EndSteppedProbe(probe, host, recorder);
    probe.startedUtc = recorder.NowUtc();
  }
  RecordKeepingHost kept(host);
  outcome = (this->*step)(session, kept, recorder);
  probe.records.insert(probe.records.end(), kept.records.begin(), kept.records.end());
  // As Update settles the probe's unit: a good update waits for the write.
  if (update && job_.writeSerial && outcome.status == 0) {
    probe.open = true;
    probe.updated = outcome;
    return outcome;
  }
  events_->Finish(*this, host, recorder, probe.records, probe.startedUtc, outcome);
  probe = SteppedProbe{};
  return outcome;
}

void JobRun::EndSteppedProbe(SteppedProbe& probe, JobHost& host,
                             const LineRecorder& recorder) const {
  if (!probe.open || events_ == nullptr) return;
  JobOutcome outcome = probe.updated;
  outcome.message += (outcome.message.empty() ? "" : " ") + std::string(kJobLeftUnwrittenText);
  events_->Finish(*this, host, recorder, probe.records, probe.startedUtc, outcome);
  probe = SteppedProbe{};
}
