// READ, WRITE and UPDATE of a job's window: each one step of the line's job
// run over this window, which keeps its messages moving while the update's
// timer paces the steps and while the version wait sleeps; a close asked for
// meanwhile stops the step, is recorded, and closes the window after it.
// The MES line is looked at again on the window's slow timer.
#include "app/job_window_mode.h"

#include <algorithm>

#include "firmware/update_procedure.h"
#include "ledger/log_target.h"
#include "ledger/operation_record.h"
#include "line/job_load.h"
#include "line/mes_probe_events.h"
#include "messages/app_version.h"
#include "messages/message_catalogue.h"

namespace {

// The version wait moves the bar one step a look, over this range.
constexpr int kWaitBarSteps = 40;
// A close or a paint is seen within this while the window waits.
constexpr unsigned kPumpSliceMs = 20;
constexpr unsigned kStyleInformation = 0x40;

}  // namespace

JobWindowMode::JobWindowMode(OperatorWindow& window, JobWindowEdge& edge)
    : WindowMode(window), edge_(edge), clock_(*this) {}

// The recorder refers to the store, which goes after it. A unit an UPDATE
// reached with no WRITE after it is that probe's; one no request reached
// goes back. That probe's event is written before the MES link's sender is
// joined and its outbox goes.
JobWindowMode::~JobWindowMode() {
  std::string error;
  if (recorder_) {
    run_->EndSteppedProbe(stepped_, *this, *recorder_);
    recorder_->SettleUnit(0, &error);
  }
  if (run_) run_->SendEventsTo(nullptr);
  mes_.reset();
  recorder_.reset();
  ledger_.reset();
}

bool OpenPinnedJob(const std::u16string& path, const JobTrustContext& trust,
                   std::unique_ptr<JobRun>* run, std::string* message) {
  std::string error;
  if (JobRun::Open(path, run, &error) != 0) {
    *message = "The job cannot be used: " + error;
    return false;
  }
  JobTrust decided;
  if ((*run)->Authorize(trust, &decided, message) != 0) return false;
  // The image is read, hashed and parsed once, now: one edited later is
  // never written, and one that is not the job's opens no window.
  return (*run)->Pin(message) == 0;
}

std::unique_ptr<Ledger> OpenJobStore(const LineJob& job, LedgerOpener& opener, LedgerWaiter& waiter,
                                     std::string* message) {
  std::string error;
  std::unique_ptr<Ledger> ledger = opener.Open(FromUtf8(job.log), waiter, &error);
  if (ledger) return ledger;
  *message = "The job " + job.name +
             "'s log cannot be used: " + StoreFailureText(ParseLogTarget(job.log), error) +
             ". No probe was touched.";
  return nullptr;
}

bool JobWindowMode::Open(const std::u16string& path, LedgerOpener& opener, LedgerWaiter& waiter,
                         const LogContext& station, std::function<std::string()> timeUtc,
                         std::string* message, const JobTrustContext& trust, const MesAccess& mes) {
  if (!OpenPinnedJob(path, trust, &run_, message)) return false;
  mes_ = OpenMesLink(run_->job(), mes.programData, mes.maker, message);
  if (!run_->job().mes.empty() && !mes_) return false;
  if (mes_) run_->SendEventsTo(mes_->events.get());
  ledger_ = OpenJobStore(run_->job(), opener, waiter, message);
  if (!ledger_) return false;
  recorder_ = std::make_unique<LineRecorder>(*ledger_, station, std::move(timeUtc), run_->tag());
  return true;
}

void JobWindowMode::Start() {
  const LineJob& job = run_->job();
  edge_.AppendToTitle(
      u" - " + FromUtf8(job.name) +
      (job.trustedSigner.empty() ? u"" : u" - signed by " + FromUtf8(job.trustedSigner)));
  edge_.MakeBoxesReadOnly();
  window_.FileName() = FromUtf8(job.image);
  ShowNextFree();
  // The first step's button has the focus, not a box that cannot change.
  edge_.Focus(job.update ? JobWindowEdge::Control::kUpdate : JobWindowEdge::Control::kWrite);
  if (!mes_) return;
  // The place is the MES line's now, shown or not.
  edge_.ShowMesLine(mesLine_);
  Refresh();
  edge_.RefreshEvery(kMesShowEveryMs);
}

void JobWindowMode::Refresh() {
  if (!mes_) return;
  const std::u16string line = FromUtf8(MesNoticeText(mes_->outbox.Status(), UtcNowMs()));
  if (line == mesLine_) return;
  mesLine_ = line;
  edge_.ShowMesLine(mesLine_);
  edge_.Enable(JobWindowEdge::Control::kDropHint, !mesLine_.empty());
}

void JobWindowMode::Read() {
  Run(&JobRun::Read);
}

void JobWindowMode::Write() {
  Run(&JobRun::Write);
}

void JobWindowMode::Update() {
  // The bar shows the comparison with the probe's flash before the update.
  window_.SetControlState(Updating);
  Run(&JobRun::Update);
  window_.SetControlState(Idle);
}

void JobWindowMode::Run(JobRun::Step step) {
  if (busy_) return;
  busy_ = true;
  closeAsked_ = false;
  run_->RunStep(step, stepped_, session_, *this, *recorder_);
  busy_ = false;
  waiting_ = false;
  ShowNextFree();
  if (closeAsked_) edge_.Close();
}

void JobWindowMode::ShowNextFree() {
  std::optional<std::string> next;
  std::string error;
  // A store that cannot be read now leaves the box empty; the next WRITE
  // says why.
  if (!NextFreeInRange(*ledger_, run_->job(), &next, &error)) next.reset();
  window_.SerialNo() = FromUtf8(next.value_or(""));
  window_.PushMembers();
}

void JobWindowMode::RefuseFile() {
  const LineJob& job = run_->job();
  edge_.ShowRefusal(u"This window runs the job " + FromUtf8(job.name) + u": its image is " +
                    FromUtf8(job.image) +
                    u" and cannot be changed. The dropped file was not taken.");
}

void JobWindowMode::AdjustControls(ControlState mode) {
  using Control = JobWindowEdge::Control;
  const LineJob& job = run_->job();
  for (Control fixed : {Control::kBrowse, Control::kCountUp}) edge_.Enable(fixed, false);
  // Drops are refused: the hint's place reads only as the MES line.
  edge_.Enable(Control::kDropHint, !mesLine_.empty());
  edge_.Enable(Control::kUpdate, mode == Idle && job.update);
  edge_.Enable(Control::kWrite, mode == Idle && job.writeSerial);
}

bool JobWindowMode::HoldClose() {
  if (!busy_) return false;
  closeAsked_ = true;
  return true;
}

void JobWindowMode::DriveUpdate(OperatorWindow& window, ProbeSession& session) {
  driven_ = &window;
  while (IsUpdateRunning(session) && !closeAsked_) edge_.Pump(kPumpSliceMs);
  driven_ = nullptr;
  waiting_ = false;
}

void JobWindowMode::ShowError(const std::string& text) {
  waiting_ = false;
  edge_.ShowError(FromUtf8(text));
}

void JobWindowMode::Recorded(const OperationRecord& record, bool stored) {
  // Nothing else would tell the operator why the probe was not updated.
  if (stored && record.alreadyThere) {
    window_.MessageBox(FromUtf8(record.message), FormatAppVersionText(VersionTextForm::kNameOnly),
                       kStyleOk | kStyleInformation);
  }
}

void JobWindowMode::Progress(int done, int total) {
  if (total != progressTotal_) window_.SetProgressRange(0, total);
  progressTotal_ = total;
  window_.SetProgressPos(done);
  edge_.Pump(0);
}

void JobWindowMode::WindowClock::Wait(unsigned ms) {
  if (!mode_.waiting_) {
    mode_.window_.SetProgressRange(0, kWaitBarSteps);
    mode_.progressTotal_ = kWaitBarSteps;
    step_ = 0;
  }
  mode_.waiting_ = true;
  mode_.edge_.ShowWaitCursor();
  step_ = (step_ + 1) % (kWaitBarSteps + 1);
  mode_.window_.SetProgressPos(step_);
  const double end = Seconds() + ms / 1000.0;
  while (!mode_.closeAsked_) {
    const double left = end - Seconds();
    if (left <= 0) break;
    mode_.edge_.Pump(std::min(kPumpSliceMs, static_cast<unsigned>(left * 1000.0) + 1));
  }
}
