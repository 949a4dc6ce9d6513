// What every store of the Ledger interface must do, as one table: the CSV
// log over the in-memory file (native) and each database engine (under Wine)
// run the same rows. A store under test opens any number of stations on one
// store, and can empty it, cut it off (a server gone, a file that fails) and
// let it come back.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ledger/ledger.h"
#include "ledger/record_chain.h"
#include "ledger/serial_pool.h"
#include "ledger/unit_series.h"

class LedgerStore {
 public:
  virtual ~LedgerStore() = default;
  // No tables, or an empty file.
  virtual void Empty() = 0;
  // Another station on the store; nullptr with *error when it cannot open.
  virtual std::unique_ptr<Ledger> Open(std::string* error) = 0;
  // The same store with a refused password (a database), or failing (a file).
  virtual std::unique_ptr<Ledger> OpenRefused(std::string* error) = 0;
  // Every station opened so far loses the store (its server's connection
  // ended, the file failing) until Restore.
  virtual void Cut() = 0;
  virtual void Restore() = 0;
  // The store as the earlier version made it: records without the job.
  virtual void MakeEarlierLayout() = 0;
  // The job column of the store's last record.
  virtual std::optional<std::string> LastJob() = 0;
  // What no message may show (a password); empty when the store has none.
  virtual std::string Secret() const = 0;
};

namespace ledger_conformance {

inline const LogContext kA{"2024-05-06T07:08:09Z", "BENCH-7", "1.0.0.0"};
inline const LogContext kB{"2024-05-06T07:08:10Z", "BENCH-8", "1.0.0.0"};
// Claims each racing station makes: enough that two of them meet on one
// number on every engine.
inline constexpr int kRaceClaims = 20;

inline std::unique_ptr<Ledger> Station(LedgerStore& store) {
  std::string error;
  std::unique_ptr<Ledger> ledger = store.Open(&error);
  EXPECT_NE(ledger, nullptr) << error;
  return ledger;
}

// A job's unit series on the store, and what a station's claim of one gave.
inline const std::string kUnits = UnitSeriesFirst("0123456789abcdef", 3);
inline std::string UnitClaimed(Ledger& ledger, const LogContext& at, uint64_t cap) {
  const Claim claim = ClaimUnit(ledger, kUnits, cap, at, 28);
  return claim.status == ClaimStatus::kClaimed     ? claim.serial
         : claim.status == ClaimStatus::kExhausted ? "none"
                                                   : "failed: " + claim.error;
}

inline OperationRecord Outcome(int result = 0) {
  OperationRecord record{"write-serial"};
  record.result = result;
  record.message = result == 0 ? "written" : "failed";
  return record;
}

inline void Settled(Ledger& ledger, const std::string& serial, Settlement settlement,
                    int result = 0) {
  std::string error;
  EXPECT_TRUE(ledger.Settle(serial, settlement, Outcome(result), kA, &error)) << serial << error;
}

inline std::string StateOf(Ledger& ledger, const std::string& serial) {
  const Claim claim = ledger.ClaimSerial(serial, false, kB);
  if (claim.status == ClaimStatus::kTaken) return PoolWord(claim.heldAs);
  return claim.status == ClaimStatus::kClaimed ? "free" : "failed: " + claim.error;
}

inline void ExpectNoSecret(LedgerStore& store, const std::string& message) {
  if (!store.Secret().empty()) {
    EXPECT_EQ(message.find(store.Secret()), std::string::npos) << message;
  }
}

// Every row's seq and the chain's verdict, as audit reads them.
class ChainSink : public RowSink {
 public:
  void Restart() override { seqs.clear(); }
  void Take(const LogRow& row) override { seqs.push_back(row.seq); }
  void Damaged() override { seqs.push_back("damaged"); }
  void ChainNow(const ChainVerdict& now) override { verdict = now; }
  std::vector<std::string> seqs;
  ChainVerdict verdict;
};

// A station's probes while another races it: a claim, its settlement and
// a record of its own each.
inline void Probes(Ledger* ledger, const LogContext* at, std::string* failures) {
  std::string error;
  for (int i = 0; i < kRaceClaims; ++i) {
    const Claim claim = ledger->ClaimSerial("CH0001", true, *at);
    if (claim.status != ClaimStatus::kClaimed ||
        !ledger->Settle(claim.serial, Settlement::kWritten, Outcome(), *at, &error) ||
        !ledger->Record(OperationRecord{"update"}, *at, &error)) {
      *failures += claim.error + error + ";";
    }
  }
}

struct Case {
  const char* what;
  void (*run)(LedgerStore& store);
};

inline const Case kCases[] = {
    {"an exact claim, then the same number again",
     [](LedgerStore& store) {
       auto a = Station(store), b = Station(store);
       ASSERT_TRUE(a && b);
       EXPECT_EQ(a->ClaimSerial("SN0001", false, kA).status, ClaimStatus::kClaimed);
       const Claim again = b->ClaimSerial("SN0001", false, kB);
       EXPECT_EQ(again.status, ClaimStatus::kTaken);
       EXPECT_EQ(again.heldAs, SerialState::kClaimed);
     }},
    {"counting up skips every held number of the series, and stops at all nines",
     [](LedgerStore& store) {
       auto a = Station(store), b = Station(store);
       ASSERT_TRUE(a && b);
       for (const char* serial : {"SN0001", "SN0002", "SN0004", "SN00030", "SN98", "SN99"})
         EXPECT_EQ(a->ClaimSerial(serial, false, kA).status, ClaimStatus::kClaimed);
       Settled(*a, "SN0002", Settlement::kWritten);
       Settled(*a, "SN0004", Settlement::kSpent, 4);
       EXPECT_EQ(b->ClaimSerial("SN0001", true, kB).serial, "SN0003");
       EXPECT_EQ(b->ClaimSerial("SN0001", true, kB).serial, "SN0005");
       EXPECT_EQ(b->ClaimSerial("SN98", true, kB).status, ClaimStatus::kExhausted);
       EXPECT_EQ(b->ClaimSerial("NODIGITS", true, kB).serial, "NODIGITS");
       EXPECT_EQ(b->ClaimSerial("NODIGITS", true, kB).status, ClaimStatus::kExhausted);
     }},
    {"two connections racing from one number never get the same",
     [](LedgerStore& store) {
       auto a = Station(store), b = Station(store);
       ASSERT_TRUE(a && b);
       std::vector<std::string> got[2];
       auto race = [](Ledger* ledger, const LogContext* at, std::vector<std::string>* numbers) {
         for (int i = 0; i < kRaceClaims; ++i) {
           const Claim claim = ledger->ClaimSerial("RC0001", true, *at);
           numbers->push_back(claim.status == ClaimStatus::kClaimed ? claim.serial
                                                                    : "failed: " + claim.error);
         }
       };
       std::thread first(race, a.get(), &kA, &got[0]), second(race, b.get(), &kB, &got[1]);
       first.join();
       second.join();
       std::set<std::string> numbers(got[0].begin(), got[0].end());
       numbers.insert(got[1].begin(), got[1].end());
       std::set<std::string> expected;
       for (int i = 1; i <= 2 * kRaceClaims; ++i) {
         char serial[16];
         std::snprintf(serial, sizeof serial, "RC%04d", i);
         expected.insert(serial);
       }
       EXPECT_EQ(numbers, expected);
     }},
    {"two stations recording at once keep one chain: seq 1 to N without a gap, unbroken",
     [](LedgerStore& store) {
       auto a = Station(store), b = Station(store), reader = Station(store);
       ASSERT_TRUE(a && b && reader);
       std::string failures[2];
       std::thread first(Probes, a.get(), &kA, &failures[0]);
       std::thread second(Probes, b.get(), &kB, &failures[1]);
       first.join();
       second.join();
       ASSERT_EQ(failures[0] + failures[1], "");
       ChainSink sink;
       std::string error;
       ASSERT_TRUE(reader->ReadRows(sink, &error)) << error;
       std::vector<std::string> expected;
       for (size_t seq = 1; seq <= sink.seqs.size(); ++seq) expected.push_back(std::to_string(seq));
       // Each probe's settlement and record at least (the log chains its claims too).
       EXPECT_GE(sink.seqs.size(), 4u * kRaceClaims);
       EXPECT_EQ(sink.seqs, expected);
       EXPECT_EQ(ChainBreakWord(sink.verdict.broken), std::string("none"));
       EXPECT_EQ(sink.verdict.chained, sink.seqs.size());
     }},
    {"settled written, spent and released; a release by another station frees nothing",
     [](LedgerStore& store) {
       auto a = Station(store), b = Station(store);
       ASSERT_TRUE(a && b);
       for (const char* serial : {"ST1", "ST2", "ST3", "ST4"})
         ASSERT_EQ(a->ClaimSerial(serial, false, kA).status, ClaimStatus::kClaimed);
       Settled(*a, "ST1", Settlement::kWritten);
       Settled(*a, "ST2", Settlement::kSpent, 4);
       Settled(*a, "ST3", Settlement::kReleased, 1);
       std::string error;
       b->Settle("ST4", Settlement::kReleased, Outcome(1), kB, &error);
       EXPECT_EQ(StateOf(*b, "ST1"), "written");
       EXPECT_EQ(StateOf(*b, "ST2"), "spent");
       EXPECT_EQ(StateOf(*b, "ST3"), "free");
       EXPECT_EQ(StateOf(*b, "ST4"), "claimed");
     }},
    {"a claim left open by a station that ended stays held",
     [](LedgerStore& store) {
       auto a = Station(store);
       ASSERT_TRUE(a);
       ASSERT_EQ(a->ClaimSerial("KL0001", false, kA).status, ClaimStatus::kClaimed);
       a.reset();
       auto b = Station(store);
       ASSERT_TRUE(b);
       EXPECT_EQ(StateOf(*b, "KL0001"), "claimed");
       EXPECT_EQ(b->ClaimSerial("KL0001", true, kB).serial, "KL0002");
     }},
    {"resume: the highest held number of the series, in numeric order",
     [](LedgerStore& store) {
       auto a = Station(store);
       ASSERT_TRUE(a);
       for (const char* serial : {"RS0005", "RS0012", "RS0013", "RS00999", "RSX0099", "RS0090"})
         ASSERT_EQ(a->ClaimSerial(serial, false, kA).status, ClaimStatus::kClaimed);
       Settled(*a, "RS0012", Settlement::kWritten);
       Settled(*a, "RS0090", Settlement::kReleased, 1);
       std::optional<std::string> highest;
       std::string error;
       ASSERT_TRUE(a->HighestInSeries("RS0001", &highest, &error)) << error;
       EXPECT_EQ(highest.value_or("none"), "RS0013");
       ASSERT_TRUE(a->HighestInSeries("QQ0001", &highest, &error)) << error;
       EXPECT_FALSE(highest);
     }},
    {"the report: every number in the order first seen, its state and station",
     [](LedgerStore& store) {
       auto a = Station(store), b = Station(store);
       ASSERT_TRUE(a && b);
       // Each event a second after the one before, as a line's would be.
       auto at = [](const LogContext& who, int second) {
         LogContext context = who;
         context.timeUtc = "2024-05-06T07:08:1" + std::to_string(second) + "Z";
         return context;
       };
       std::string error;
       ASSERT_EQ(a->ClaimSerial("RP1", false, at(kA, 1)).status, ClaimStatus::kClaimed);
       ASSERT_EQ(b->ClaimSerial("RP2", false, at(kB, 2)).status, ClaimStatus::kClaimed);
       ASSERT_EQ(a->ClaimSerial("RP3", false, at(kA, 3)).status, ClaimStatus::kClaimed);
       EXPECT_TRUE(a->Settle("RP1", Settlement::kWritten, Outcome(), at(kA, 4), &error)) << error;
       EXPECT_TRUE(a->Settle("RP3", Settlement::kReleased, Outcome(1), at(kA, 5), &error)) << error;
       std::vector<SerialEntry> entries;
       ASSERT_TRUE(b->Entries(&entries, &error)) << error;
       std::string report;
       for (const SerialEntry& e : entries)
         report += e.serial + " " + PoolWord(e.state) + " " + e.station + ";";
       EXPECT_EQ(report, "RP1 written BENCH-7;RP2 claimed BENCH-8;RP3 free BENCH-7;");
     }},
    {"units: exactly the cap, across stations, and no more",
     [](LedgerStore& store) {
       auto a = Station(store), b = Station(store);
       ASSERT_TRUE(a && b);
       EXPECT_EQ(UnitClaimed(*a, kA, 3), "UNIT-0123456789ab-000001");
       EXPECT_EQ(UnitClaimed(*b, kB, 3), "UNIT-0123456789ab-000002");
       EXPECT_EQ(UnitClaimed(*a, kA, 3), "UNIT-0123456789ab-000003");
       EXPECT_EQ(UnitClaimed(*b, kB, 3), "none");
       std::vector<SerialEntry> entries;
       std::string error;
       ASSERT_TRUE(b->Entries(&entries, &error)) << error;
       EXPECT_EQ(CountUnits(entries, kUnits, 3).Left(), 0u);
     }},
    {"two connections racing for the last units: each unit won once, none past the cap",
     [](LedgerStore& store) {
       auto a = Station(store), b = Station(store);
       ASSERT_TRUE(a && b);
       std::vector<std::string> got[2];
       auto race = [](Ledger* ledger, const LogContext* at, std::vector<std::string>* units) {
         for (int i = 0; i < kRaceClaims; ++i)
           units->push_back(UnitClaimed(*ledger, *at, kRaceClaims));
       };
       std::thread first(race, a.get(), &kA, &got[0]), second(race, b.get(), &kB, &got[1]);
       first.join();
       second.join();
       std::multiset<std::string> units(got[0].begin(), got[0].end());
       units.insert(got[1].begin(), got[1].end());
       EXPECT_EQ(units.count("none"), static_cast<size_t>(kRaceClaims));
       units.erase("none");
       EXPECT_EQ(std::set<std::string>(units.begin(), units.end()).size(), units.size());
       EXPECT_EQ(units.size(), static_cast<size_t>(kRaceClaims));
       std::vector<SerialEntry> entries;
       std::string error;
       ASSERT_TRUE(a->Entries(&entries, &error)) << error;
       size_t held = 0;
       for (const SerialEntry& entry : entries) held += Held(entry.state);
       EXPECT_EQ(held, static_cast<size_t>(kRaceClaims));
     }},
    {"a unit given back is claimed again; a spent one stays counted",
     [](LedgerStore& store) {
       auto a = Station(store), b = Station(store);
       ASSERT_TRUE(a && b);
       ASSERT_EQ(UnitClaimed(*a, kA, 2), "UNIT-0123456789ab-000001");
       ASSERT_EQ(UnitClaimed(*a, kA, 2), "UNIT-0123456789ab-000002");
       Settled(*a, "UNIT-0123456789ab-000001", Settlement::kReleased, 23);
       Settled(*a, "UNIT-0123456789ab-000002", Settlement::kSpent, 4);
       EXPECT_EQ(UnitClaimed(*b, kB, 2), "UNIT-0123456789ab-000001");
       EXPECT_EQ(UnitClaimed(*b, kB, 2), "none");
     }},
    {"a store made by the earlier version gets the job and chain columns on first use",
     [](LedgerStore& store) {
       store.MakeEarlierLayout();
       auto a = Station(store);
       ASSERT_TRUE(a);
       OperationRecord record = Outcome();
       record.job = "line3@0123abcd";
       std::string error, chain;
       ASSERT_TRUE(a->Record(record, kA, &error, &chain)) << error;
       EXPECT_EQ(store.LastJob().value_or("none"), "line3@0123abcd");
       // The chain starts with the first record written since; the writer
       // is handed the value its line got.
       ChainSink sink;
       ASSERT_TRUE(a->ReadRows(sink, &error)) << error;
       ASSERT_FALSE(sink.seqs.empty());
       EXPECT_EQ(sink.seqs.front(), "1");
       EXPECT_EQ(ChainBreakWord(sink.verdict.broken), std::string("none"));
       EXPECT_EQ(sink.verdict.head, chain);
       EXPECT_EQ(a->ClaimSerial("JB1", false, kA).status, ClaimStatus::kClaimed);
     }},
    {"a store gone mid-run: every call fails naming no password, a claim stays held",
     [](LedgerStore& store) {
       auto a = Station(store);
       ASSERT_TRUE(a);
       ASSERT_EQ(a->ClaimSerial("GN1", false, kA).status, ClaimStatus::kClaimed);
       store.Cut();
       const Claim claim = a->ClaimSerial("GN2", false, kA);
       std::string settled;
       const bool settledOk = a->Settle("GN1", Settlement::kReleased, Outcome(1), kA, &settled);
       store.Restore();
       EXPECT_EQ(claim.status, ClaimStatus::kFailed);
       EXPECT_FALSE(settledOk);
       for (const std::string& error : {claim.error, settled}) {
         EXPECT_FALSE(error.empty());
         ExpectNoSecret(store, error);
       }
       auto b = Station(store);
       ASSERT_TRUE(b);
       EXPECT_EQ(StateOf(*b, "GN1"), "claimed");
     }},
    {"a store that refuses the station says why, naming no password",
     [](LedgerStore& store) {
       std::string error;
       EXPECT_EQ(store.OpenRefused(&error), nullptr);
       EXPECT_FALSE(error.empty());
       ExpectNoSecret(store, error);
     }},
};

// Every row on an emptied store.
inline void RunAll(LedgerStore& store) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    store.Empty();
    c.run(store);
  }
}

}  // namespace ledger_conformance
