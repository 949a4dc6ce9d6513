// The CSV log's file in memory, for the native tests, the fuzz target and
// the benchmark: sessions can find it held by another program or failing,
// and appends can fail, as a spreadsheet or a full disk would make them.
#pragma once

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>

#include "ledger/csv_ledger.h"
#include "ledger/ledger.h"

struct MemoryLogState {
  std::string text;
  int heldSessions = 0;    // the next sessions find the file held
  bool failBegin = false;  // no session starts at all
  int appendsLeft = -1;    // appends that still succeed; -1: all
  std::mutex lock;         // the file's lock: one session of any station at a time
};

class MemoryLogFile : public LogFile {
 public:
  explicit MemoryLogFile(MemoryLogState& state) : state_(state) {}
  LogAccess Begin(std::string* error) override {
    *error = state_.failBegin ? "refused" : "held";
    if (state_.failBegin) return LogAccess::kFailed;
    if (state_.heldSessions-- > 0) return LogAccess::kHeld;
    state_.lock.lock();
    locked_ = true;
    return LogAccess::kReady;
  }
  void End() override {
    if (locked_) state_.lock.unlock();
    locked_ = false;
  }
  bool Size(uint64_t* size, std::string*) override {
    *size = state_.text.size();
    return true;
  }
  bool ReadAt(uint64_t offset, size_t count, std::string* bytes, std::string*) override {
    *bytes = state_.text.substr(std::min<size_t>(static_cast<size_t>(offset), state_.text.size()),
                                count);
    return true;
  }
  bool Append(const std::string& bytes, std::string* error) override {
    *error = "disk full";
    if (state_.appendsLeft == 0) return false;
    if (state_.appendsLeft > 0) --state_.appendsLeft;
    state_.text += bytes;
    return true;
  }

 private:
  MemoryLogState& state_;
  bool locked_ = false;
};

inline std::unique_ptr<CsvLedger> NewMemoryLedger(MemoryLogState& state, LedgerWaiter& waiter) {
  return std::make_unique<CsvLedger>(std::make_unique<MemoryLogFile>(state), "line.csv", waiter);
}

// A store's waits that never wait: the tests' log is never held for long.
class NoLedgerWait : public LedgerWaiter {
 public:
  void Say(const std::string&) override {}
  bool Wait(unsigned) override { return true; }
};

// The --log store over an in-memory file; refuse makes the opening fail.
class MemoryLedgerOpener : public LedgerOpener {
 public:
  MemoryLogState file;
  std::string& text = file.text;  // what the log file holds
  bool refuse = false;
  int opens = 0;
  std::unique_ptr<Ledger> Open(const std::u16string&, LedgerWaiter& waiter,
                               std::string* error) override {
    ++opens;
    if (refuse) {
      *error = "refused";
      return nullptr;
    }
    std::unique_ptr<CsvLedger> ledger = NewMemoryLedger(file, waiter);
    if (!ledger->Load(error)) return nullptr;
    return ledger;
  }
  std::unique_ptr<Ledger> OpenForReading(const std::u16string&, LedgerWaiter& waiter,
                                         std::string* error) override {
    ++opens;
    if (refuse || text.empty()) {
      *error = refuse ? "refused" : "it does not exist";
      return nullptr;
    }
    std::unique_ptr<CsvLedger> ledger = NewMemoryLedger(file, waiter);
    ledger->KeepRows();
    return ledger;
  }
};
