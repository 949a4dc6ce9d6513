// The cost of the line's database as a station pays it for each probe: a
// claim committed before the write and its outcome settled after, measured
// through the database store against a running server.
#pragma once

#include <string>

struct DatabaseLedgerFigures {
  bool ok = false;
  std::string error;  // when not ok
  std::string where;
  double openMs = 0;  // connecting and finding (or making) the tables
  int probes = 0;
  double meanMs = 0, medianMs = 0, p95Ms = 0, maxMs = 0;  // claim + settle
  double claimMeanMs = 0, settleMeanMs = 0;
  int held = 0;           // numbers held in a row before the last claim
  double pastHeldMs = 0;  // that claim, counting up past all of them
};

// Claims and settles `probes` numbers counting up in a series of its own,
// then one claim that must count past `held` numbers already held.
DatabaseLedgerFigures MeasureDatabaseLedger(const std::string& connection, int probes, int held);
