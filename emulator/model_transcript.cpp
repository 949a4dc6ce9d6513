// The emulated probe's transcript: one readable line per frame and event,
// and the model's notes of opens, closes and events.
#include <cstdio>

#include "emulator/probe_model.h"

namespace probe_model {

std::string FormatTranscriptLine(const TranscriptEntry& entry, std::string_view probeName) {
  char head[64];
  std::snprintf(head, sizeof head, "%6llu.%03llu %.*s ",
                static_cast<unsigned long long>(entry.ms / 1000),
                static_cast<unsigned long long>(entry.ms % 1000),
                static_cast<int>(probeName.size()), probeName.data());
  std::string line = head;
  if (entry.direction == Direction::kEvent) {
    line += "-- ";
    line += entry.note;
    return line;
  }
  line += entry.direction == Direction::kToProbe ? "-> " : "<- ";
  const std::string_view name = CommandName(entry.command);
  line += name.empty() ? std::string_view("unknown") : name;
  line += ':';
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (uint8_t b : entry.bytes) {
    line += ' ';
    line += kHex[b >> 4];
    line += kHex[b & 0x0F];
  }
  if (!entry.note.empty()) {
    line += "  (";
    line += entry.note;
    line += ')';
  }
  return line;
}

void ProbeModel::NoteOpen(uint64_t nowMs) {
  // A new open starts clean: nothing of an earlier handle's exchange is left.
  if (!keepAcrossOpens_) output_.clear();
  input_.clear();
  stopsTaking_ = false;
  NoteEvent(nowMs, "opened");
}

void ProbeModel::ClearHistory() {
  output_.clear();
  input_.clear();
  transcript_.clear();
  std::fill(requestCounts_.begin(), requestCounts_.end(), 0u);
  dropRequested_ = false;
  vanishRequested_ = false;
  stopsTaking_ = false;
}

void ProbeModel::NoteClose(uint64_t nowMs) {
  NoteEvent(nowMs, "closed");
}

void ProbeModel::NoteEvent(uint64_t nowMs, std::string note) {
  TranscriptEntry entry;
  entry.ms = nowMs;
  entry.note = std::move(note);
  transcript_.push_back(std::move(entry));
}

std::vector<std::vector<uint8_t>> ProbeModel::RequestsReceived() const {
  std::vector<std::vector<uint8_t>> frames;
  for (const TranscriptEntry& entry : transcript_) {
    if (entry.direction == Direction::kToProbe) frames.push_back(entry.bytes);
  }
  return frames;
}

}  // namespace probe_model
