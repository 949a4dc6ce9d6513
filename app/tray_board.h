// What the tray window shows, kept on its own thread: each slot's state and
// what moved it there, the window's counts since it opened, the numbers left
// in the job's range, the store's trouble, how far the line's MES is behind
// and why it holds probes back, pause and the close question.
// The slots' threads never touch it: they post SlotEvents, which the window
// applies one at a time, so the board needs no lock and is tested natively.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

enum class SlotState { kEmpty, kAttached, kUpdating, kResetting, kWriting, kPass, kFail };

// One tile.
struct SlotView {
  SlotState state = SlotState::kEmpty;
  std::string version;  // kAttached: as the probe answers
  int percent = 0;      // kUpdating
  std::string serial;   // kPass: the number written
  int result = 0;       // kFail: the result code
  std::string message;  // kFail
};

enum class SlotEventKind {
  kAttached,     // text: the probe's version
  kState,        // state
  kProgress,     // value: percent of the update
  kFinished,     // value: result (0 PASS), text: message, serial
  kRemoved,      // the probe left the slot
  kStoreFailed,  // text: what failed
  kStoreBack,    // the store answers again
  kLeft,         // value: numbers left in the job's range
  kMesHeld,      // text: why the MES holds the slot's probe back; empty: let go
  kEnded,        // the slot's thread ends
};

struct SlotEvent {
  SlotEventKind kind = SlotEventKind::kState;
  int slot = 0;
  SlotState state = SlotState::kEmpty;
  int64_t value = 0;
  std::string text;
  std::optional<std::string> serial;
};

struct TrayCounts {
  int made = 0;
  int passed = 0;
  int failed = 0;
};

class TrayBoard {
 public:
  explicit TrayBoard(int slots);

  // Applies one slot's or the store's event; false for a slot the board has not.
  bool Apply(const SlotEvent& event);

  int slots() const { return static_cast<int>(views_.size()); }
  const SlotView& view(int slot) const { return views_[static_cast<size_t>(slot)]; }
  const TrayCounts& counts() const { return counts_; }
  const std::optional<int64_t>& left() const { return left_; }
  // Empty while the store answers.
  const std::string& storeProblem() const { return storeProblem_; }
  bool paused() const { return paused_; }
  void SetPaused(bool paused) { paused_ = paused; }
  // The outbox's MesNoticeText, as the window last looked.
  void SetMesWaiting(std::string text) { mesWaiting_ = std::move(text); }
  // The header's MES line: why a slot is held, or how far the MES is
  // behind; empty when neither.
  const std::string& MesLine() const;

  // Slots with a probe's steps under way.
  int Working() const;
  // Every slot's thread has ended.
  bool AllEnded() const { return ended_ == slots(); }
  // The one question a close asks while slots work; empty when none does.
  std::string CloseQuestion() const;

 private:
  std::vector<SlotView> views_;
  TrayCounts counts_;
  std::optional<int64_t> left_;
  std::string storeProblem_;
  std::vector<std::string> mesHeld_;  // a slot
  std::string mesWaiting_;
  bool paused_ = false;
  int ended_ = 0;
};

// A state in words, as the tile and its text say it.
const char* SlotStateWord(SlotState state);
// The tile's text for screen readers and tests:
// "Slot N: STATE[ SERIAL][: MESSAGE]" ("Slot 3: PASS SN0004",
// "Slot 5: FAIL 16: It failed ...", "Slot 2: Updating 45 %").
std::string SlotText(int slot, const SlotView& view);
// The header's counts: "Made 8   Passed 7   Failed 1   First-pass yield 87.5 %".
std::string CountsText(const TrayCounts& counts);
