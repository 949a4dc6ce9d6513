// Feeds any bytes to the pool as the log file it reads: whole, and split in
// two looks as a station reading the tail sees it, which must agree. A file
// it takes must take a claim, closed onto a line of its own, that a fresh
// reader finds claimed under the same number; a file it refuses must be left
// as it was. Every field the writer makes must read back as it went in.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ledger/csv_ledger.h"
#include "tests/support/memory_log_file.h"

namespace {

const LogContext kContext{"2024-05-06T07:08:09Z", "FUZZ", "1.0.0.0"};

class NoWait : public LedgerWaiter {
 public:
  void Say(const std::string&) override {}
  bool Wait(unsigned) override { return false; }
};

void Check(bool holds) {
  if (!holds) __builtin_trap();
}

std::vector<SerialEntry> Read(const std::string& text, size_t split, bool* foreign) {
  SerialPool pool;
  CsvLogReader reader;
  const std::string_view all(text);
  *foreign = reader.Feed(all.substr(0, split), pool) == CsvLogReader::Fed::kForeign ||
             reader.Feed(all.substr(split), pool) == CsvLogReader::Fed::kForeign;
  reader.ApplyUnfinished(pool);
  return pool.Entries();
}

bool Same(const std::vector<SerialEntry>& a, const std::vector<SerialEntry>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.serial == y.serial && x.state == y.state;
  });
}

// A serial number from the input's first bytes: printable ASCII, so the
// marks for formula-like text are met too.
std::string SerialFrom(const uint8_t* data, size_t size) {
  std::string serial;
  for (size_t i = 0; i < size && serial.size() < 8; ++i) {
    if (data[i] >= 0x20 && data[i] <= 0x7E) serial += static_cast<char>(data[i]);
  }
  return serial.empty() ? "SN0001" : serial;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t split = size == 0 ? 0 : data[0] % (size + 1);
  bool foreignWhole = false, foreignSplit = false;
  const std::vector<SerialEntry> whole = Read(text, size, &foreignWhole);
  const std::vector<SerialEntry> looks = Read(text, split, &foreignSplit);
  Check(foreignWhole == foreignSplit);
  if (!foreignWhole) Check(Same(whole, looks));

  // The writer's fields read back as they went in (line breaks escaped).
  const std::string field = text.substr(0, 40);
  if (field.find_first_of("\r\n") == std::string::npos) {
    const std::string line = JoinCsvFields({field, "x", field});
    const auto back = SplitCsvLine(std::string_view(line).substr(0, line.size() - 2), true, false);
    Check(back && back->size() == 3 && (*back)[0] == field && (*back)[2] == field);
  }

  MemoryLogState file;
  file.text = text;
  NoWait waiter;
  std::unique_ptr<CsvLedger> ledger = NewMemoryLedger(file, waiter);
  std::string error;
  const bool loaded = ledger->Load(&error);
  const std::string serial = SerialFrom(data, size);
  const Claim claim = ledger->ClaimSerial(serial, false, kContext);
  if (!loaded || claim.status == ClaimStatus::kFailed) {
    Check(file.text == text);
    return 0;
  }
  if (claim.status != ClaimStatus::kClaimed) return 0;
  Check(file.text.size() > text.size() && file.text.compare(0, size, text) == 0);
  bool foreign = false;
  const std::vector<SerialEntry> after = Read(file.text, file.text.size(), &foreign);
  Check(!foreign);
  Check(std::any_of(after.begin(), after.end(), [&](const SerialEntry& entry) {
    return entry.serial == serial && entry.state == SerialState::kClaimed;
  }));
  return 0;
}
