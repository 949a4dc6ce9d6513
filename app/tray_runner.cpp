// The tray's runner: the job opened for a tray, the slots' threads and the
// store's watch started and joined, the MES link kept beside them.
#include "app/tray_runner.h"

#include <system_error>

#include "app/job_window_mode.h"
#include "ledger/log_target.h"
#include "line/mes_probe_events.h"

TrayRunner::TrayRunner(SlotSink& sink, DeviceHold& hold, LineClock* clock)
    : sink_(sink), hold_(hold), gateClock_(gate_), clock_(clock ? *clock : gateClock_) {}

// The workers refer to the store, which goes after them; the MES link's
// sender is joined once no slot can write an event, before the run goes.
TrayRunner::~TrayRunner() {
  Stop();
  Join();
  workers_.clear();
  if (run_) run_->SendEventsTo(nullptr);
  mes_.reset();
  shared_.reset();
  locked_.reset();
  store_.reset();
}

bool TrayRunner::Open(const std::u16string& path, LedgerOpener& opener, LedgerWaiter& waiter,
                      const LogContext& station, std::function<std::string()> timeUtc,
                      std::string* message, const JobTrustContext& trust, const MesAccess& mes) {
  if (!OpenPinnedJob(path, trust, &run_, message)) return false;
  const LineJob& job = run_->job();
  // Nobody stands at a tray to answer for each probe's LED.
  if (job.update && job.led == JobLed::kAsk) {
    *message = "The job " + job.name +
               " cannot run on a tray: its key led = ask asks about each probe's LED; a tray "
               "needs led = skip. No probe was touched.";
    return false;
  }
  mes_ = OpenMesLink(job, mes.programData, mes.maker, message);
  if (!job.mes.empty() && !mes_) return false;
  if (mes_) run_->SendEventsTo(mes_->events.get());
  store_ = OpenJobStore(job, opener, waiter, message);
  if (!store_) return false;
  locked_.emplace(*store_);
  shared_.emplace(
      TrayShared{*run_, *locked_, station, std::move(timeUtc), gate_, clock_, sink_, hold_});
  for (int slot = 0; slot < job.slots; ++slot) {
    workers_.push_back(std::make_unique<SlotWorker>(slot, *shared_));
  }
  return true;
}

std::string TrayRunner::StoreShown() const {
  return ParseLogTarget(run_->job().log).shown;
}

std::string TrayRunner::MesWaiting() const {
  return mes_ ? MesNoticeText(mes_->outbox.Status(), UtcNowMs()) : std::string();
}

void TrayRunner::Start() {
  for (size_t slot = 0; slot < workers_.size(); ++slot) {
    SlotWorker& worker = *workers_[slot];
    try {
      threads_.emplace_back([&worker] { worker.Run(); });
    } catch (const std::system_error&) {
      SlotEvent ended;
      ended.kind = SlotEventKind::kEnded;
      ended.slot = static_cast<int>(slot);
      sink_.Post(std::move(ended));
    }
  }
  try {
    watch_ = std::thread([this] { WatchStore(); });
  } catch (const std::system_error&) {
    // Without the watch the numbers left are not shown; the slots still run.
  }
}

void TrayRunner::Join() {
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
  threads_.clear();
  if (watch_.joinable()) watch_.join();
}

void TrayRunner::WatchStore() {
  const LineJob& job = run_->job();
  bool first = true;
  while (!gate_.Stopping()) {
    if (first || gate_.StoreDown()) {
      int64_t left = 0;
      std::string error;
      const bool ranged = !job.serialFirst.empty();
      // A store without a range is looked at as a whole: the next free
      // number of nothing still proves it answers.
      std::optional<std::string> next;
      const bool answered = ranged ? NumbersLeftInRange(*locked_, job, &left, &error)
                                   : NextFreeFrom(*locked_, "SN0001", &next, &error);
      if (answered) {
        if (gate_.StoreDown()) {
          gate_.SetStoreDown(false);
          SlotEvent back;
          back.kind = SlotEventKind::kStoreBack;
          sink_.Post(std::move(back));
        }
        if (ranged) {
          SlotEvent counted;
          counted.kind = SlotEventKind::kLeft;
          counted.value = left;
          sink_.Post(std::move(counted));
        }
      } else if (first) {
        gate_.SetStoreDown(true);
        SlotEvent failed;
        failed.kind = SlotEventKind::kStoreFailed;
        failed.text = "The store " + locked_->Where() + " failed (" + error +
                      "): no new probe starts until it answers.";
        sink_.Post(std::move(failed));
      }
      first = false;
    }
    gate_.Sleep(kStoreRetryMs);
  }
}
