#include "app/tray_board.h"

#include <cstdio>

TrayBoard::TrayBoard(int slots)
    : views_(static_cast<size_t>(slots > 0 ? slots : 0)), mesHeld_(views_.size()) {}

bool TrayBoard::Apply(const SlotEvent& event) {
  switch (event.kind) {
    case SlotEventKind::kStoreFailed:
      storeProblem_ = event.text;
      return true;
    case SlotEventKind::kStoreBack:
      storeProblem_.clear();
      return true;
    case SlotEventKind::kLeft:
      left_ = event.value;
      return true;
    default:
      break;
  }
  if (event.slot < 0 || event.slot >= slots()) return false;
  if (event.kind == SlotEventKind::kMesHeld) {
    mesHeld_[static_cast<size_t>(event.slot)] = event.text;
    return true;
  }
  SlotView& view = views_[static_cast<size_t>(event.slot)];
  switch (event.kind) {
    case SlotEventKind::kAttached:
      view = SlotView{};
      view.state = SlotState::kAttached;
      view.version = event.text;
      break;
    case SlotEventKind::kState:
      view.state = event.state;
      if (event.state == SlotState::kUpdating) view.percent = 0;
      break;
    case SlotEventKind::kProgress:
      view.state = SlotState::kUpdating;
      view.percent = static_cast<int>(event.value);
      break;
    case SlotEventKind::kFinished:
      // A probe's result counts once, whatever the tile showed before.
      ++counts_.made;
      view.state = event.value == 0 ? SlotState::kPass : SlotState::kFail;
      view.result = static_cast<int>(event.value);
      view.serial = event.serial.value_or("");
      view.message = event.value == 0 ? std::string() : event.text;
      (event.value == 0 ? counts_.passed : counts_.failed) += 1;
      break;
    case SlotEventKind::kRemoved:
      view = SlotView{};
      break;
    case SlotEventKind::kEnded:
      ++ended_;
      break;
    default:
      return false;
  }
  return true;
}

const std::string& TrayBoard::MesLine() const {
  for (const std::string& held : mesHeld_) {
    if (!held.empty()) return held;
  }
  return mesWaiting_;
}

int TrayBoard::Working() const {
  int working = 0;
  for (const SlotView& view : views_) {
    working += view.state == SlotState::kUpdating || view.state == SlotState::kResetting ||
               view.state == SlotState::kWriting;
  }
  return working;
}

std::string TrayBoard::CloseQuestion() const {
  const int working = Working();
  if (working == 0) return {};
  return std::to_string(working) +
         (working == 1 ? " probe is being worked on" : " probes are being worked on") +
         "; stop after their current step?";
}

const char* SlotStateWord(SlotState state) {
  switch (state) {
    case SlotState::kEmpty:
      return "Empty";
    case SlotState::kAttached:
      return "Attached";
    case SlotState::kUpdating:
      return "Updating";
    case SlotState::kResetting:
      return "Resetting";
    case SlotState::kWriting:
      return "Writing";
    case SlotState::kPass:
      return "PASS";
    case SlotState::kFail:
      return "FAIL";
  }
  return "";
}

std::string SlotText(int slot, const SlotView& view) {
  // Appended piece by piece: GCC 12 warns wrongly of a literal + string.
  std::string text = "Slot ";
  text.append(std::to_string(slot)).append(": ").append(SlotStateWord(view.state));
  switch (view.state) {
    case SlotState::kAttached:
      if (!view.version.empty()) text.append(" ").append(view.version);
      break;
    case SlotState::kUpdating:
      text.append(" ").append(std::to_string(view.percent)).append(" %");
      break;
    case SlotState::kPass:
      if (!view.serial.empty()) text.append(" ").append(view.serial);
      break;
    case SlotState::kFail:
      text.append(" ").append(std::to_string(view.result));
      if (!view.message.empty()) text.append(": ").append(view.message);
      break;
    default:
      break;
  }
  return text;
}

std::string CountsText(const TrayCounts& counts) {
  std::string text = "Made " + std::to_string(counts.made) + "   Passed " +
                     std::to_string(counts.passed) + "   Failed " + std::to_string(counts.failed) +
                     "   First-pass yield ";
  if (counts.made == 0) return text + "-";
  char yield[16];
  std::snprintf(yield, sizeof yield, "%.1f %%", 100.0 * counts.passed / counts.made);
  return text + yield;
}
