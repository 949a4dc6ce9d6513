// The tray window's slots natively: events recorded in order as the window
// would receive them, a device hold other programs can take, the job's log
// opened in memory, and the emulated clock shared by slots on threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/tray_slot.h"
#include "emulator/model_transport.h"
#include "tests/support/fake_job_host.h"
#include "tests/support/memory_log_file.h"

class RecordingSink : public SlotSink {
 public:
  void Post(SlotEvent event) override {
    std::lock_guard<std::mutex> hold(lock_);
    events_.push_back(std::move(event));
  }
  // Every event so far applied to a board of slots tiles.
  TrayBoard Board(int slots) {
    std::lock_guard<std::mutex> hold(lock_);
    TrayBoard board(slots);
    for (const SlotEvent& event : events_) board.Apply(event);
    return board;
  }
  size_t Count(SlotEventKind kind) {
    std::lock_guard<std::mutex> hold(lock_);
    size_t count = 0;
    for (const SlotEvent& event : events_) count += event.kind == kind;
    return count;
  }

 private:
  std::mutex lock_;
  std::vector<SlotEvent> events_;
};

class FakeDeviceHold : public DeviceHold {
 public:
  std::set<int> heldElsewhere;  // indices another program holds
  bool TryHold(int index) override {
    std::lock_guard<std::mutex> hold(lock_);
    return heldElsewhere.count(index) == 0 && mine_.insert(index).second;
  }
  void Release(int index) override {
    std::lock_guard<std::mutex> hold(lock_);
    mine_.erase(index);
  }

 private:
  std::mutex lock_;
  std::set<int> mine_;
};

// The emulated clock for slots on threads of their own. It moves only once
// every thread waits, to the earliest wake among them: a slot that idles
// between its looks would otherwise run the shared clock on by itself, and
// another slot's version wait would time out between two of its own polls.
// When the clock has not moved for kStall of real time (a thread ended, or
// the machine starves one), the others are held no longer: each then moves
// the clock to its own wake, as a plain emulated clock would.
class LockstepModelClock : public ModelLineClock {
 public:
  explicit LockstepModelClock(size_t threads) : threads_(threads) {}

  void Wait(unsigned ms) override {
    std::unique_lock<std::mutex> hold(lock_);
    const uint64_t wake = model_link::NowMs() + ms;
    const auto waiting = wakes_.insert(wake);
    uint64_t seen = model_link::NowMs();
    auto stall = std::chrono::steady_clock::now() + kStall;
    for (;;) {
      const uint64_t now = model_link::NowMs();
      if (now >= wake) break;
      if (now != seen) {
        seen = now;
        stall = std::chrono::steady_clock::now() + kStall;
      }
      const bool stalled = std::chrono::steady_clock::now() >= stall;
      const uint64_t earliest = *wakes_.begin();
      if ((wakes_.size() >= threads_ || stalled) && earliest > now) {
        model_link::AdvanceClock((stalled ? wake : earliest) - now);
        moved_.notify_all();
        continue;
      }
      // The earliest waker is due already: it goes first.
      if (earliest <= now) moved_.notify_all();
      moved_.wait_until(hold, stall);
    }
    wakes_.erase(waiting);
  }

 private:
  static constexpr auto kStall = std::chrono::milliseconds(200);

  const size_t threads_;
  std::mutex lock_;
  std::condition_variable moved_;
  std::multiset<uint64_t> wakes_;
};
