// The operator window running a line job (Ostrelin.exe --job JOB): the
// job's image in a file box that cannot be changed, the next free number of
// the job's range in a serial box that cannot be edited, and READ, WRITE and
// UPDATE each one step of the line's job run, recorded with the job's tag;
// with the line's MES, each probe's event written when its steps end and a
// line saying how far the MES is behind.
// Everything Win32 it needs goes through JobWindowEdge, which the dialog
// implements, so this logic runs natively in the tests as it runs under
// Windows.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "app/window_mode.h"
#include "ledger/ledger.h"
#include "line/job_run.h"
#include "line/line_recorder.h"
#include "line/mes_link.h"

// Reads the job, asks whether this PC may run it and pins its image, in that
// order, before any store or probe: false with the ERROR box's reason.
bool OpenPinnedJob(const std::u16string& path, const JobTrustContext& trust,
                   std::unique_ptr<JobRun>* run, std::string* message);
// The job's store; nullptr with the reason (the log's file or the
// database's server, never a password).
std::unique_ptr<Ledger> OpenJobStore(const LineJob& job, LedgerOpener& opener, LedgerWaiter& waiter,
                                     std::string* message);

// What the job's window needs from the dialog around it.
class JobWindowEdge {
 public:
  enum class Control { kUpdate, kWrite, kBrowse, kDropHint, kCountUp };

  virtual ~JobWindowEdge() = default;
  virtual void AppendToTitle(const std::u16string& text) = 0;
  // The file and serial boxes: shown, not typed in.
  virtual void MakeBoxesReadOnly() = 0;
  virtual void Enable(Control control, bool enabled) = 0;
  // Takes effect once the dialog's own start has given out the focus.
  virtual void Focus(Control control) = 0;
  // The ERROR box.
  virtual void ShowError(const std::u16string& text) = 0;
  // The ERROR box of something the operator did that the job forbids.
  virtual void ShowRefusal(const std::u16string& text) = 0;
  virtual void ShowWaitCursor() = 0;
  // Hands the window's waiting messages to it (timer 0's ticks among them),
  // waiting up to ms for one.
  virtual void Pump(unsigned ms) = 0;
  virtual double Seconds() = 0;
  // Asks the window to close again, once a close was held.
  virtual void Close() = 0;
  // The line about the line's MES, where the window without a job shows
  // where files may be dropped; empty: none.
  virtual void ShowMesLine(const std::u16string& text) = 0;
  // Has the mode's Refresh() called every ms from now on.
  virtual void RefreshEvery(unsigned ms) = 0;
};

class JobWindowMode : public WindowMode, private JobHost {
 public:
  JobWindowMode(OperatorWindow& window, JobWindowEdge& edge);
  ~JobWindowMode() override;

  // Reads the job, pins its image (a job with the update) and opens its
  // store, and its MES link when it names one (before the store, as the
  // console); false with the reason for the one ERROR box before any window
  // (the file, the line and the key; the image; the log's file or the
  // database's server, never a password; why this PC may not run it, asked
  // of trust before the image or the store). station: the PC's name and the
  // tool's version; timeUtc: the record's time. waiter must outlive the mode.
  bool Open(const std::u16string& path, LedgerOpener& opener, LedgerWaiter& waiter,
            const LogContext& station, std::function<std::string()> timeUtc, std::string* message,
            const JobTrustContext& trust = {}, const MesAccess& mes = {});

  void Start() override;
  void Read() override;
  void Write() override;
  void Update() override;
  bool TakesFiles() const override { return false; }
  void RefuseFile() override;
  void AdjustControls(ControlState mode) override;
  // The next number comes from the line's pool, never from the box.
  bool CountsUp() const override { return false; }
  bool Waiting() const override { return waiting_; }
  bool HoldClose() override;
  // The MES line shown again, from the outbox as it is now.
  void Refresh() override;

 protected:
  OperatorWindow& TickedWindow() override { return driven_ ? *driven_ : window_; }

 private:
  // The version wait's clock: the window's messages keep moving (the bar,
  // painting) and a close asked for meanwhile ends the wait.
  class WindowClock : public LineClock {
   public:
    explicit WindowClock(JobWindowMode& mode) : mode_(mode) {}
    double Seconds() override { return mode_.edge_.Seconds(); }
    void Wait(unsigned ms) override;
    bool Interrupted() override { return mode_.closeAsked_; }

   private:
    JobWindowMode& mode_;
    int step_ = 0;
  };

  // JobHost.
  OperatorWindow& Window() override { return window_; }
  void DriveUpdate(OperatorWindow& window, ProbeSession& session) override;
  LineClock& Clock() override { return clock_; }
  bool Interrupted() override { return closeAsked_; }
  void Say(const std::string&) override {}
  void ShowError(const std::string& text) override;
  void Recorded(const OperationRecord& record, bool stored) override;
  void Progress(int done, int total) override;

  void Run(JobRun::Step step);
  void ShowNextFree();

  JobWindowEdge& edge_;
  WindowClock clock_;
  std::unique_ptr<JobRun> run_;
  std::unique_ptr<Ledger> ledger_;
  std::unique_ptr<LineRecorder> recorder_;
  // After the run and the store: its sender is joined before they go.
  std::unique_ptr<MesLink> mes_;
  SteppedProbe stepped_;
  std::u16string mesLine_;
  OperatorWindow* driven_ = nullptr;
  int progressTotal_ = 0;
  bool busy_ = false;
  bool waiting_ = false;
  bool closeAsked_ = false;
};
