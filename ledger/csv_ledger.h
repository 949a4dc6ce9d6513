// The pool and the record in the CSV log: claims and outcomes are lines of
// the file, each decided in a session under its lock after reading what
// other stations appended since this one last looked.
#pragma once

#include <memory>
#include <string>

#include "ledger/csv_log_reader.h"
#include "ledger/ledger.h"
#include "ledger/log_file.h"

// How often a station looks again at a log another program holds (for as
// long as its waiter's LongestWaitMs).
inline constexpr unsigned kHeldLogRetryMs = 1000;

class CsvLedger : public Ledger {
 public:
  CsvLedger(std::unique_ptr<LogFile> file, std::string where, LedgerWaiter& waiter);
  // The first look: reads the whole file, refusing one that is not a log.
  bool Load(std::string* error);
  // Keeps every row read from the next look on, for ReadRows; called before
  // Load, the first read serves the rows too.
  void KeepRows();
  // Lines are written as the earlier format wrote them, without seq and
  // chain: only bench/chain_bench calls it, to weigh the chain's cost.
  void LeaveChainOut() { chained_ = false; }

  std::string Where() const override { return where_; }
  bool Record(const OperationRecord& record, const LogContext& context, std::string* error,
              std::string* chain = nullptr) override;
  Claim ClaimSerial(const std::string& from, bool countUp, const LogContext& context) override;
  bool Settle(const std::string& serial, Settlement settlement, const OperationRecord& record,
              const LogContext& context, std::string* error, std::string* chain = nullptr) override;
  bool HighestInSeries(const std::string& like, std::optional<std::string>* highest,
                       std::string* error) override;
  bool Entries(std::vector<SerialEntry>* entries, std::string* error) override;
  bool ReadRows(RowSink& sink, std::string* error) override;

 private:
  // Opens a session and reads the tail; false (file closed) with *error.
  bool BeginSession(std::string* error);
  bool ReadTail(std::string* error);
  // Appends the line chained after the last one read, closing a cut last
  // line first and putting the header in front of an empty file's first line.
  // *chain, when given, gets the line's chain value.
  bool AppendLine(const std::string& line, std::string* error, std::string* chain = nullptr);

  std::unique_ptr<LogFile> file_;
  std::string where_;
  LedgerWaiter& waiter_;
  SerialPool pool_;
  CsvLogReader reader_;
  uint64_t size_ = 0;      // the file's size at the session's look
  std::string lastBytes_;  // the bytes before reader_.taken(), to see a file replaced
  // The rows a look reads: straight to ReadRows' sink while it runs, kept
  // here when another call's look reads them.
  class RowRelay : public RowSink {
   public:
    void Restart() override;
    void Take(const LogRow& row) override;
    void Damaged() override;
    // Hands on what was kept, then sends the rows straight to sink (nullptr:
    // keeps them again).
    void SendTo(RowSink* sink);

   private:
    RowSink* sink_ = nullptr;
    std::vector<LogRow> kept_;
    bool restarted_ = false;
    size_t damaged_ = 0;
  };
  bool keepRows_ = false;
  RowRelay relay_;
  // With the rows, the chain is walked in the same pass.
  ChainWalk walk_;
  bool chained_ = true;
};
