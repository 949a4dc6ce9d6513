// Chained logs for the chain's tests and benchmark: records appended through
// the CSV store itself, and a log walked as a report or audit walks it.
#pragma once

#include <string>
#include <vector>

#include "ledger/record_chain.h"
#include "tests/support/log_lines.h"
#include "tests/support/memory_log_file.h"

namespace chain_logs {

// Takes the verdict and every chain value a walk hands on.
class VerdictSink : public RowSink {
 public:
  void Restart() override { chains.clear(); }
  void Take(const LogRow& row) override {
    if (!row.chain.empty()) chains.push_back(row.chain);
  }
  void Damaged() override {}
  void ChainNow(const ChainVerdict& now) override { verdict = now; }
  ChainVerdict verdict;
  std::vector<std::string> chains;
};

// `records` write-serial records appended to the log's text by the store.
inline void Append(MemoryLogState& log, int records) {
  NoLedgerWait waiter;
  auto store = NewMemoryLedger(log, waiter);
  std::string error;
  for (int i = 0; i < records; ++i) {
    OperationRecord record{"write-serial", 0, 0, "Written.", 1.5, "SN" + std::to_string(1000 + i)};
    store->Record(record, log_lines::kAt, &error);
  }
}

inline VerdictSink Walk(const std::string& text) {
  MemoryLogState log;
  log.text = text;
  NoLedgerWait waiter;
  auto store = NewMemoryLedger(log, waiter);
  VerdictSink sink;
  std::string error;
  store->ReadRows(sink, &error);
  return sink;
}

// The log's lines with their line ends, and back.
inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(text.substr(at, end + 1 - at));
  return lines;
}

inline std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line;
  return text;
}

}  // namespace chain_logs
