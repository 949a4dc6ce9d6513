// The block is redrawn at most ten times a second: sixteen bars each moving
// by the percent would otherwise spend the console's time, not the probes'.
#include "cli/tray_console.h"

namespace {

constexpr double kRedrawSeconds = 0.1;
// Narrower than any console, so no line wraps and the block keeps its height.
constexpr size_t kWidestLine = 78;
constexpr char kEraseLine[] = "\r\x1b[2K";

}  // namespace

void LockedConsoleIo::Out(const std::string& text) {
  std::lock_guard<std::mutex> hold(lock_);
  io_.Out(text);
}

void LockedConsoleIo::Err(const std::string& text) {
  std::lock_guard<std::mutex> hold(lock_);
  io_.Err(text);
}

std::optional<std::string> LockedConsoleIo::ReadLine() {
  std::lock_guard<std::mutex> hold(lock_);
  return io_.ReadLine();
}

bool LockedConsoleIo::OutputFailed() {
  std::lock_guard<std::mutex> hold(lock_);
  return io_.OutputFailed();
}

TrayDisplay::TrayDisplay(ConsoleIo& io, bool redraw, const std::vector<int>& indices)
    : io_(io), redraw_(redraw) {
  for (int index : indices) slots_.push_back(Slot{std::to_string(index) + ": ", "", ""});
}

void TrayDisplay::Take(size_t slot, const std::string& text) {
  std::lock_guard<std::mutex> hold(lock_);
  Slot& at = slots_[slot];
  std::string lines;
  for (char c : text) {
    if (c == '\r') {
      at.partial.clear();
    } else if (c == '\n') {
      if (redraw_) {
        at.shown = at.partial;
      } else {
        lines += at.prefix + at.partial + "\n";
      }
      at.partial.clear();
      dirty_ = true;
    } else {
      at.partial += c;
    }
  }
  if (!redraw_) {
    if (!lines.empty()) io_.Err(lines);
    return;
  }
  if (!at.partial.empty()) {
    at.shown = at.partial;
    dirty_ = true;
  }
  Draw(false);
}

void TrayDisplay::Draw(bool force) {
  if (!dirty_) return;
  const double now = io_.Seconds();
  if (!force && drawn_ && now - lastDraw_ < kRedrawSeconds) return;
  std::string block;
  if (drawn_) block = "\x1b[" + std::to_string(slots_.size()) + "A";
  for (const Slot& slot : slots_) {
    std::string line = slot.prefix + slot.shown;
    if (line.size() > kWidestLine) line.resize(kWidestLine);
    block += kEraseLine + line + "\n";
  }
  io_.Err(block);
  drawn_ = true;
  dirty_ = false;
  lastDraw_ = now;
}

void TrayDisplay::Finish() {
  std::lock_guard<std::mutex> hold(lock_);
  if (redraw_) {
    Draw(true);
    return;
  }
  std::string lines;
  for (Slot& slot : slots_) {
    if (!slot.partial.empty()) lines += slot.prefix + slot.partial + "\n";
    slot.partial.clear();
  }
  if (!lines.empty()) io_.Err(lines);
}
