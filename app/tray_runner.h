// The tray window's work behind its tiles, portable: the job opened, pinned
// and its store opened before any window, refused when it would ask about
// each probe's LED; one SlotWorker a slot on a thread of its own, the store
// shared one call at a time; the line's MES link, its sender alive as long
// as the slots; and a watch that, while the store fails, tries it again
// every 5 s and lets the slots take probes once it answers.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/tray_slot.h"
#include "ledger/locked_ledger.h"
#include "line/mes_link.h"

// A failing store is tried again this often.
inline constexpr unsigned kStoreRetryMs = 5000;
// Once the window is open, a store another program holds is given up on
// after this: the header says so at once and the watch tries again every
// 5 s, rather than every slot queueing behind one call that waits a minute.
inline constexpr unsigned kTrayHeldStoreWaitMs = 2000;

class TrayRunner {
 public:
  // clock: the slots' clock; nullptr for real time over the gate.
  TrayRunner(SlotSink& sink, DeviceHold& hold, LineClock* clock = nullptr);
  ~TrayRunner();
  TrayRunner(const TrayRunner&) = delete;
  TrayRunner& operator=(const TrayRunner&) = delete;

  // As the job window's Open, and a job that asks about the LED is
  // refused, naming the key: false with the ERROR box's reason.
  bool Open(const std::u16string& path, LedgerOpener& opener, LedgerWaiter& waiter,
            const LogContext& station, std::function<std::string()> timeUtc, std::string* message,
            const JobTrustContext& trust = {}, const MesAccess& mes = {});

  const JobRun& run() const { return *run_; }
  const LineJob& job() const { return run_->job(); }
  // The store as a person may read it: the file, or the server, never a password.
  std::string StoreShown() const;
  TrayGate& gate() { return gate_; }
  // How far the line's MES is behind now (MesNoticeText); empty without one.
  std::string MesWaiting() const;

  // Starts every slot's thread and the store's watch; the slots that got no
  // thread say they ended at once.
  void Start();
  void SetPaused(bool paused) { gate_.SetPaused(paused); }
  // No new probe; each step under way ends its probe's run at the next
  // step, closes it, settles and records. The threads then end.
  void Stop() { gate_.Stop(); }
  void Join();

 private:
  void WatchStore();

  SlotSink& sink_;
  DeviceHold& hold_;
  TrayGate gate_;
  GateClock gateClock_;
  LineClock& clock_;
  std::unique_ptr<JobRun> run_;
  std::unique_ptr<Ledger> store_;
  std::optional<LockedLedger> locked_;
  std::optional<TrayShared> shared_;
  std::unique_ptr<MesLink> mes_;
  std::vector<std::unique_ptr<SlotWorker>> workers_;
  std::vector<std::thread> threads_;
  std::thread watch_;
};
