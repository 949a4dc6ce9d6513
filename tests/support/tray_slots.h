// The tray window's slots natively: events recorded in order as the window
// would receive them, a device hold other programs can take, and the job's
// log opened in memory.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/tray_slot.h"
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
