// The CSV log's file in memory, for the native tests and the benchmark: the
// text is the file; sessions can be made to find it held by another program
// or to fail, and appends to fail, as a spreadsheet or a full disk would.
#pragma once

#include <algorithm>
#include <memory>
#include <string>

#include "ledger/csv_ledger.h"
#include "ledger/log_file.h"

struct MemoryLogState {
  std::string text;
  int heldSessions = 0;    // the next sessions find the file held
  bool failBegin = false;  // sessions cannot start at all
  int appendsLeft = -1;    // appends that still succeed; -1: all
  int sessions = 0;
};

class MemoryLogFile : public LogFile {
 public:
  explicit MemoryLogFile(MemoryLogState& state) : state_(state) {}
  LogAccess Begin(std::string* error) override {
    ++state_.sessions;
    if (state_.failBegin) {
      *error = "refused";
      return LogAccess::kFailed;
    }
    if (state_.heldSessions > 0) {
      --state_.heldSessions;
      *error = "held";
      return LogAccess::kHeld;
    }
    return LogAccess::kReady;
  }
  void End() override {}
  bool Size(uint64_t* size, std::string*) override {
    *size = state_.text.size();
    return true;
  }
  bool ReadAt(uint64_t offset, size_t count, std::string* bytes, std::string*) override {
    const size_t from = std::min<size_t>(static_cast<size_t>(offset), state_.text.size());
    *bytes = state_.text.substr(from, count);
    return true;
  }
  bool Append(const std::string& bytes, std::string* error) override {
    if (state_.appendsLeft == 0) {
      *error = "disk full";
      return false;
    }
    if (state_.appendsLeft > 0) --state_.appendsLeft;
    state_.text += bytes;
    return true;
  }

 private:
  MemoryLogState& state_;
};

inline std::unique_ptr<CsvLedger> NewMemoryLedger(MemoryLogState& state, LedgerWaiter& waiter) {
  return std::make_unique<CsvLedger>(std::make_unique<MemoryLogFile>(state), "line.csv", waiter);
}
