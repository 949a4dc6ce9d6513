// One slot of the tray window: the probe at one device index, run on a
// thread of the slot's own with a ProbeSession of its own. A probe seen in
// an empty slot for a second gets a number claimed for it before it is
// touched and then the job's steps through the one job run; its result
// stays until it is removed, and the slot then takes the next probe. The
// slot tells the window what happens by posting SlotEvents; what it shares
// with the other slots is the store (one call at a time) and the gate.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>

#include "app/tray_board.h"
#include "firmware/probe_session.h"
#include "ledger/ledger.h"
#include "line/job_run.h"
#include "line/line_recorder.h"
#include "messages/operator_window.h"

// A slot looks at its probe this often.
inline constexpr unsigned kSlotLookMs = 250;
// A probe is taken once it has answered for this long: not while it is
// still being pushed in.
inline constexpr unsigned kSlotSettleMs = 1000;

// Whether slots may start a probe, shared by every slot's thread and the
// window: paused, the store down, or the window closing stop new probes.
class TrayGate {
 public:
  void SetPaused(bool paused);
  void SetStoreDown(bool down);
  // The window closes: no new probe; a step under way stops after it.
  void Stop();
  bool MayStart() const;
  bool Stopping() const;
  bool StoreDown() const;
  // Sleeps up to ms; returns at once when Stop() is called.
  void Sleep(unsigned ms);

 private:
  mutable std::mutex lock_;
  std::condition_variable changed_;
  bool paused_ = false;
  bool storeDown_ = false;
  bool stopping_ = false;
};

// A clock over the gate: real time, its waits ended by a close.
class GateClock : public LineClock {
 public:
  explicit GateClock(TrayGate& gate) : gate_(gate) {}
  double Seconds() override;
  void Wait(unsigned ms) override { gate_.Sleep(ms); }
  bool Interrupted() override { return gate_.Stopping(); }

 private:
  TrayGate& gate_;
};

// Where a slot's events go: the window posts them to its own thread.
class SlotSink {
 public:
  virtual ~SlotSink() = default;
  virtual void Post(SlotEvent event) = 0;
};

// A device index held against other programs (the console's hold) while the
// slot works its probe; both calls come from the slot's own thread.
class DeviceHold {
 public:
  virtual ~DeviceHold() = default;
  virtual bool TryHold(int index) = 0;
  virtual void Release(int index) = 0;
};

// What every slot of one window shares.
struct TrayShared {
  const JobRun& run;
  Ledger& store;  // one call at a time (LockedLedger)
  LogContext station;
  std::function<std::string()> timeUtc;
  TrayGate& gate;
  LineClock& clock;
  SlotSink& sink;
  DeviceHold& hold;
};

class SlotWorker : private JobHost, private OperatorWindow {
 public:
  SlotWorker(int index, TrayShared& shared);
  ~SlotWorker() override;

  // One look at the slot: a probe seen long enough is run at once, a
  // finished one watched until it is removed.
  void Step();
  // Steps until the window closes, then lets the probe go.
  void Run();
  // How long until the next look: a probe seen is taken the moment it has
  // answered for kSlotSettleMs, not up to a whole look later.
  unsigned NextLookMs() const;

 private:
  enum class Phase { kEmpty, kSeen, kHolding };

  void RunOne();
  void Post(SlotEventKind kind, SlotState state = SlotState::kEmpty, int64_t value = 0,
            std::string text = {});
  void SetState(SlotState state);
  void Let();

  // JobHost.
  OperatorWindow& Window() override { return *this; }
  void DriveUpdate(OperatorWindow& window, ProbeSession& session) override;
  LineClock& Clock() override { return shared_.clock; }
  bool Interrupted() override { return shared_.gate.Stopping(); }
  // The tile shows the wait; the lines are for a console.
  void Say(const std::string&) override {}
  void VersionWaitBegins() override;
  void Held(const std::string& text) override;
  void ShowError(const std::string& text) override { lastError_ = text; }
  void Recorded(const OperationRecord& record, bool stored) override;
  void Progress(int, int) override {}

  // OperatorWindow: the operator agreed to every question by starting the
  // tray; the update's timer is ticked back to back.
  void PullMembers() override {}
  void PushMembers() override {}
  std::u16string& FileName() override { return fileName_; }
  std::u16string& SerialNo() override { return serialNo_; }
  void SetControlState(ControlState) override {}
  bool IsCountUpChecked() override { return false; }
  int MessageBox(const std::u16string& text, const std::u16string& caption,
                 unsigned style) override;
  int ShowConfirmDialog() override;
  void StartTimer0(unsigned periodMs) override;
  void StopTimer0() override { timerRunning_ = false; }
  void SetProgressRange(int lower, int upper) override;
  void SetProgressPos(int position) override;
  ProbeChoice ChosenProbe() override { return ProbeChoice{index_, &opened_}; }

  const int index_;
  TrayShared& shared_;
  ProbeSession session_;
  LineRecorder recorder_;
  Phase phase_ = Phase::kEmpty;
  double seenAt_ = 0;
  bool held_ = false;
  SlotState state_ = SlotState::kEmpty;
  std::u16string fileName_, serialNo_;
  std::string lastError_;
  bool timerRunning_ = false;
  unsigned timerPeriod_ = 0;
  int progressUpper_ = 0;
  int percent_ = -1;
  int opened_ = kAnyProbeIndex;
};
