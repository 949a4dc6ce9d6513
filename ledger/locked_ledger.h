// A store shared by the threads of one process: each call runs alone, so a
// store written for one caller at a time (the CSV log's session, the
// database's one connection) needs no lock of its own. A claim is durable
// when ClaimSerial returns, as with the store itself.
#pragma once

#include <mutex>

#include "ledger/ledger.h"

class LockedLedger : public Ledger {
 public:
  explicit LockedLedger(Ledger& store) : store_(store) {}

  std::string Where() const override { return store_.Where(); }
  bool Record(const OperationRecord& record, const LogContext& context, std::string* error,
              std::string* chain = nullptr) override {
    std::lock_guard<std::mutex> hold(lock_);
    return store_.Record(record, context, error, chain);
  }
  Claim ClaimSerial(const std::string& from, bool countUp, const LogContext& context) override {
    std::lock_guard<std::mutex> hold(lock_);
    return store_.ClaimSerial(from, countUp, context);
  }
  bool Settle(const std::string& serial, Settlement settlement, const OperationRecord& record,
              const LogContext& context, std::string* error,
              std::string* chain = nullptr) override {
    std::lock_guard<std::mutex> hold(lock_);
    return store_.Settle(serial, settlement, record, context, error, chain);
  }
  bool HighestInSeries(const std::string& like, std::optional<std::string>* highest,
                       std::string* error) override {
    std::lock_guard<std::mutex> hold(lock_);
    return store_.HighestInSeries(like, highest, error);
  }
  bool Entries(std::vector<SerialEntry>* entries, std::string* error) override {
    std::lock_guard<std::mutex> hold(lock_);
    return store_.Entries(entries, error);
  }
  bool ReadRows(RowSink& sink, std::string* error) override {
    std::lock_guard<std::mutex> hold(lock_);
    return store_.ReadRows(sink, error);
  }

 private:
  Ledger& store_;
  std::mutex lock_;
};
