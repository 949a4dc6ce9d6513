// A job's unit cap kept in the serial pool itself: each probe a capped job
// makes holds one number of a series reserved for that job
// ("UNIT-<12 hex>-000001" up to its cap), claimed, settled and given back by
// the pool's own rule. So every store caps without a table of its own, a
// killed run's claim keeps counting, and stations racing for the last unit
// are settled by the same arbiter as for serial numbers: the CSV log's lock,
// the database's key on the number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/ledger.h"

inline constexpr char kUnitSeriesPrefix[] = "UNIT-";
// The command of a unit's records in the pool.
inline constexpr char kUnitCommand[] = "unit";
// The hexadecimal digits of the job's hash that name its series.
inline constexpr size_t kUnitKeyDigits = 12;

// The series of the job whose hash (hexadecimal) is key, for a cap of cap
// units: its first number, as wide as the cap needs and at least 6 digits.
std::string UnitSeriesFirst(std::string_view key, uint64_t cap);
// The unit's place in its series (1 for the first); 0 for a number that is
// not of first's series.
uint64_t UnitIndex(const std::string& first, const std::string& serial);
// Whether serial is of a reserved series: never a probe's number, so the
// serial-number figures leave it out.
bool IsUnitSerial(std::string_view serial);

// How a job's units stand in the pool: held counts claimed, written and
// spent, made the written ones.
struct UnitCounts {
  uint64_t cap = 0;
  uint64_t made = 0;
  uint64_t held = 0;
  uint64_t Left() const { return held >= cap ? 0 : cap - held; }
};
UnitCounts CountUnits(const std::vector<SerialEntry>& entries, const std::string& first,
                      uint64_t cap);

// Claims the first unit of first's series within 1..cap that the pool holds
// neither claimed, written nor spent, counting up as a job's serial range is
// claimed: kClaimed with the unit durable; kExhausted when all cap are held
// (the number counted up past the cap is given back at once);
// kFailed with *error when the store could not decide. pastCapResult: the
// result the give-back of a unit past the cap is recorded with.
Claim ClaimUnit(Ledger& ledger, const std::string& first, uint64_t cap, const LogContext& context,
                int pastCapResult);
