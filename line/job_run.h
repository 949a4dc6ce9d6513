// One run of a line job, the same for every front-end. Opening it reads the
// job and its image's bytes once: those bytes are hashed, parsed from memory
// and kept, and every probe of the run is programmed and verified from them,
// so the image file is never read again after its hash was checked. For one
// probe the job's steps go in one order: the update when the probe does not
// hold the image already (then the version wait, given the version read
// before the reset), and the write of a number claimed from the job's range
// before its request can leave, settled by what the write did and recorded.
// The window, the console's station and its tray differ only in how they
// ask, show and wait: their JobHost.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "firmware/probe_session.h"
#include "line/job_file.h"
#include "line/job_trust.h"
#include "line/line_recorder.h"
#include "line/version_wait.h"

class FirmwareImage;
class MesProbeEvents;
class OperatorWindow;

// What a front-end lends a run for one probe.
class JobHost {
 public:
  virtual ~JobHost() = default;
  // The window the procedures ask, show and count progress in; its
  // ChosenProbe() says which probe this is.
  virtual OperatorWindow& Window() = 0;
  // Runs timer 0's steps of the update that has just started, on window
  // (the window to tick: it sees every box the steps show), until the
  // update ends or Interrupted(): the console back to back, waiting out
  // only the erase poll; the window on its timer, its messages moving.
  virtual void DriveUpdate(OperatorWindow& window, ProbeSession& session) = 0;
  // The version wait's clock.
  virtual LineClock& Clock() = 0;
  // Ctrl+C, or the window closing: the run stops between steps.
  virtual bool Interrupted() = 0;
  // A line for the operator beside the procedures' own boxes.
  virtual void Say(const std::string& text) = 0;
  // The wait for the probe's version after its reset has begun (its line
  // is said as well).
  virtual void VersionWaitBegins() {}
  // While the line's MES holds the probe back, why; empty once it lets the
  // probe start. A front-end that shows it in a place of its own takes it
  // here; the others have it said.
  virtual void Held(const std::string& text) {
    if (!text.empty()) Say(text);
  }
  // A failure the procedures have no box for (the store, the version wait).
  virtual void ShowError(const std::string& text) = 0;
  // Each record once the store took it (stored), or with its result turned
  // into the store's failure when the store refused it.
  virtual void Recorded(const OperationRecord& record, bool stored) = 0;
  // The read-back comparison's progress: units compared of all.
  virtual void Progress(int done, int total) = 0;
};

// How one step, or one probe's steps, ended.
struct JobOutcome {
  int status = 0;  // 0, a result code, or a line status (line_status.h)
  std::string message;
  std::optional<std::string> serial;  // the number the write was given
  // The device index the probe was opened at; kAnyProbeIndex before.
  int opened = -1;
  bool recordFailed = false;  // the store refused a record: the run ends
  bool agreed = false;        // a question was answered yes
};

// A probe worked one step at a time (the window's UPDATE, then WRITE): what
// its steps so far recorded, while its write is still to come.
struct SteppedProbe {
  bool open = false;
  std::string startedUtc;
  std::vector<OperationRecord> records;
  JobOutcome updated;  // the update's outcome
};

class JobRun {
 public:
  // Reads the job at path: 0, or kJobUnusable with the file, line and key
  // in *message.
  static int Open(const std::u16string& path, std::unique_ptr<JobRun>* run, std::string* message);
  // Whether this PC may run the job (line/job_trust.h), asked by every
  // front-end right after Open, before the store or any probe is touched:
  // 0, or kJobNotAuthorized with the refusal's one line in *message.
  int Authorize(const JobTrustContext& context, JobTrust* trust, std::string* message);
  // Pins the job's image: its bytes read once, hashed, parsed from memory
  // and kept for every probe of the run. 0; a file check's result code or
  // kImageNotPinned with *message. A job without an image has nothing to
  // pin. Until it succeeds no update runs.
  int Pin(std::string* message);

  const LineJob& job() const { return job_; }
  std::string tag() const { return JobTag(job_); }

  // The pinned image, shared by every session of the run; none before Pin.
  std::shared_ptr<const FirmwareImage> image() const { return image_; }

  // Each step runs on the session of the probe it is given, which whoever
  // runs that probe owns.
  // The step the window's READ takes: the number read, recorded.
  JobOutcome Read(ProbeSession& session, JobHost& host, LineRecorder& recorder) const;
  // The update when the probe does not hold the image, the version wait,
  // the record.
  JobOutcome Update(ProbeSession& session, JobHost& host, LineRecorder& recorder) const;
  // The write of the number the recorder holds claimed (claimed now from
  // the range when it holds none); the claim settled and recorded.
  JobOutcome Write(ProbeSession& session, JobHost& host, LineRecorder& recorder) const;
  // The job's steps for one probe in their order; a probe whose update
  // failed gets no number: its open claim is given back.
  // With events (SendEventsTo), the probe starts only once its event can
  // follow (line/mes_probe_events.h), and its event is on disk when it ends.
  JobOutcome RunProbe(ProbeSession& session, JobHost& host, LineRecorder& recorder) const;

  using Step = JobOutcome (JobRun::*)(ProbeSession&, JobHost&, LineRecorder&) const;
  // One of Read, Update and Write for a front-end whose operator starts
  // each (the window). With events, the probe's steps are those RunProbe
  // would do, by the unit's rule: an UPDATE starts a probe, a WRITE ends
  // it, and so does an UPDATE that failed or has no write to follow. Its
  // event is written once it ends. A step that would start a probe is
  // refused while the MES holds probes back (nobody waits at a window; the
  // operator presses again), and any step while the outbox cannot be
  // written, before a probe is touched. A READ changes no probe: no event.
  JobOutcome RunStep(Step step, SteppedProbe& probe, ProbeSession& session, JobHost& host,
                     LineRecorder& recorder) const;
  // An updated probe left without its write (the next UPDATE, the window
  // closing): its event now, with what its update did.
  void EndSteppedProbe(SteppedProbe& probe, JobHost& host, const LineRecorder& recorder) const;

  // Each probe's event for the line's MES goes to events, which outlives
  // the run's probes; nullptr: no MES.
  void SendEventsTo(MesProbeEvents* events) { events_ = events; }

 private:
  JobRun() = default;
  JobOutcome RunSteps(ProbeSession& session, JobHost& host, LineRecorder& recorder) const;

  LineJob job_;
  std::shared_ptr<const FirmwareImage> image_;
  MesProbeEvents* events_ = nullptr;
};

// A declined question and the claim a write never used, as every front-end
// words them.
// The command of an update's record.
inline constexpr char kJobUpdateCommand[] = "update";
// What an update says of the probe's flash read back before it, and of the
// LED question a job's led = skip answers.
inline constexpr char kJobAlreadyThereText[] =
    "The probe already holds the image: nothing was erased, programmed or executed.";
inline constexpr char kJobDiffersText[] =
    "The probe's flash differs from the image: it is updated.";
inline constexpr char kJobLedSkippedText[] = "LED check skipped.";
inline constexpr char kJobDeclinedText[] = "Declined: the operator answered No.";
inline constexpr char kJobFreeAgainText[] = " The number is free again.";
inline constexpr char kJobUpdateFailedText[] =
    "Given back: the probe's update failed, so it gets no number.";
inline constexpr char kJobStoppedText[] = "Given back: the run was stopped before the write.";
inline constexpr char kJobUnitsUsedUpText[] = "Given back: every unit of the job is held.";
inline constexpr char kJobLeftUnwrittenText[] =
    "No number was written: the probe was left after its update.";
