// The tray window's links to its slots' threads over Win32: the queue their
// events come through, each slot's hold on its device index, and the wait
// for a store another program holds.
#pragma once

// windows.h must come first.
// clang-format off
#include <windows.h>
// clang-format on

#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "app/tray_slot.h"
#include "ledger/ledger.h"
#include "probe/device_hold_win32.h"

// The message that tells the window events are waiting in its queue.
inline constexpr UINT kTrayEventsWaiting = WM_APP + 1;

// Slots post from their threads; the window takes what is queued whenever
// it is woken, so nothing is lost or left allocated when it closes.
class QueueSink : public SlotSink {
 public:
  void SetWindow(HWND window) {
    std::lock_guard<std::mutex> hold(lock_);
    window_ = window;
  }
  void Post(SlotEvent event) override {
    std::lock_guard<std::mutex> hold(lock_);
    const bool wake = queue_.empty();
    queue_.push_back(std::move(event));
    if (wake && window_ != nullptr) ::PostMessageW(window_, kTrayEventsWaiting, 0, 0);
  }
  std::deque<SlotEvent> Take() {
    std::lock_guard<std::mutex> hold(lock_);
    std::deque<SlotEvent> taken;
    taken.swap(queue_);
    return taken;
  }

 private:
  std::mutex lock_;
  HWND window_ = nullptr;
  std::deque<SlotEvent> queue_;
};

// The console's hold on a device index (TakeDeviceHold), taken per slot on its
// own thread.
class MutexHold : public DeviceHold {
 public:
  ~MutexHold() override {
    for (auto& [index, mutex] : held_) ::CloseHandle(mutex);
  }
  bool TryHold(int index) override {
    HANDLE mutex = nullptr;
    if (!TakeDeviceHold(index, &mutex)) return false;
    if (mutex == nullptr) return true;
    std::lock_guard<std::mutex> hold(lock_);
    held_[index] = mutex;
    return true;
  }
  void Release(int index) override {
    std::lock_guard<std::mutex> hold(lock_);
    auto it = held_.find(index);
    if (it == held_.end()) return;
    ::ReleaseMutex(it->second);
    ::CloseHandle(it->second);
    held_.erase(it);
  }

 private:
  std::mutex lock_;
  std::map<int, HANDLE> held_;
};

// A store held by another program: the slot's thread waits, the window not;
// at the job's opening as long as a console, then briefly (SetLongestWaitMs).
class SleepingWaiter : public LedgerWaiter {
 public:
  void Say(const std::string&) override {}
  bool Wait(unsigned ms) override {
    ::Sleep(ms);
    return true;
  }
  unsigned LongestWaitMs() const override { return longestMs_; }
  // Before the slots' threads start, so they read it settled.
  void SetLongestWaitMs(unsigned ms) { longestMs_ = ms; }

 private:
  unsigned longestMs_ = kHeldStoreWaitMs;
};
