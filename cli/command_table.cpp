// One row a command; the help's lines of each command stand in its row.
#include "cli/command_table.h"

#include "cli/job_runners.h"
#include "cli/key_runners.h"
#include "cli/runners.h"

namespace {

// clang-format off
constexpr CommandRow kCommands[] = {
    {"list", CliCommand::kList, "", false, true, true, false, false, RunList,
     R"(  list                  try \\.\VelkoroDevice0 to 255; one line per probe that
                        opens: index, firmware version, then the serial
                        number as the rest of the line (it may hold
                        blanks); instead of it - when the firmware is too
                        old for serial numbers, ? when it could not be read
                        (--json tells these from a serial number - or ?)
)"},
    {"read-serial", CliCommand::kReadSerial, "", false, true, true, false, false, RunReadSerial,
     R"(  read-serial           print the probe's serial number
)"},
    {"write-serial", CliCommand::kWriteSerial, "TEXT", false, true, true, true, false, RunWriteSerial,
     R"(  write-serial TEXT     write TEXT as the serial number (at most 32 printable
                        ASCII characters), read it back and compare
)"},
    {"update", CliCommand::kUpdate, "FILE", false, true, true, true, false, RunUpdate,
     R"(  update FILE           update the firmware from a Motorola S-record file:
                        erase, program, read back and compare, execute
)"},
    {"verify", CliCommand::kVerify, "FILE", false, true, true, false, false, RunVerify,
     R"(  verify FILE           read the probe's flash back and compare it with FILE;
                        nothing is erased or programmed
)"},
    {"check", CliCommand::kCheck, "FILE", false, false, false, false, false, RunCheck,
     R"(  check FILE            check FILE and print its figures, whether it ends in
                        an end record (S7, S8 or S9) and whether records
                        overlap; no probe is touched
)"},
    {"serials", CliCommand::kSerials, "START", true, false, false, false, true, RunSerials,
     R"(  serials [START]       the log's pool (--log needed): each number it holds,
                        its state, station and time; with START, the next
                        free number counting up from START. No probe is
                        touched
)"},
    {"report", CliCommand::kReport, "", false, false, false, false, false, RunReport,
     R"(  report                the record's figures (--log, or --job's store), for
                        each station and the whole line: operations by
                        command, probes made, succeeded and failed,
                        first-pass yield, failures by result code,
                        successful operations per hour, first and last
                        time; and the pool per series. A short text by
                        default; no probe is touched and nothing is written
                        to the record
)"},
    {"audit", CliCommand::kAudit, "", false, false, false, false, true, RunAudit,
     R"(  audit                 walks the record's hash chain (--log needed): the
                        records, the first chained one and the head; exit 65
                        names the first line (row) broken and how, or with
                        --witness FILE the first value of FILE (one a line)
                        the record no longer holds. No probe is touched
)"},
    {"job new", CliCommand::kJobNew, "JOB", false, false, false, false, false, RunJobNew,
     R"(  job new JOB           write a line job file JOB (never over an existing
                        file): --image FILE (its SHA-256 and CRC-32 are
                        computed), --name TEXT, --expect-version X.Y,
                        --serials FIRST-LAST, --log WHERE (needed), --steps
                        update,write-serial, --led ask|skip, --reset-timeout S
)"},
    {"job check", CliCommand::kJobCheck, "JOB", false, false, false, false, false, nullptr,
     R"(  job check JOB         touch no probe: the job's fields, its image found and
                        equal, its log or database reachable, and of its range
                        how many numbers are written, spent, claimed and free;
                        its signer, whether this PC trusts it, its expiry and
                        units (made, held and left of the cap); 77 when this
                        PC would refuse to run it
)"},
    {"job sign", CliCommand::kJobSign, "JOB", false, false, false, false, false, RunJobSign,
     R"(  job sign JOB          sign JOB with --key NAME.key: appends (or replaces) its
                        [signature] section, over the file's bytes before it
                        as they are; the job must be usable (78 otherwise)
)"},
    {"key new", CliCommand::kKeyNew, "NAME", false, false, false, false, false, RunKeyNew,
     R"(  key new NAME          make a signing key: NAME.key (private, protected for
                        this Windows user; --portable: unprotected) and
                        NAME.pub (for the trusted-keys folder of the line's
                        PCs); prints its id. Never replaces a file (73)
)"},
    {"key show", CliCommand::kKeyShow, "FILE", false, false, false, false, false, RunKeyShow,
     R"(  key show FILE         print the id of a key file (.pub or .key) and its kind;
                        78 for a file that is not a key of this program or
                        is damaged
)"},
    {"run", CliCommand::kRun, "JOB", false, true, true, true, false, nullptr,
     R"(  run JOB               run the job's steps on the probe: the update (always
                        as --if-different, with the job's --expect-version),
                        then write-serial with the first free number of the
                        range; with --repeat N a station. Takes --probe,
                        --probe-serial, --probe all, --repeat, --yes, --json,
                        --quiet; the job decides everything else
)"},
    {"mes status", CliCommand::kMesStatus, "", false, false, false, false, false, nullptr,
     R"(  mes status --job JOB  the job's MES outbox: events unsent and the oldest's
                        age, rejected by the MES (kept aside), damaged, and
                        the last error in sending; --json for one object
)"},
    {"mes flush", CliCommand::kMesFlush, "", false, false, false, false, false, nullptr,
     R"(  mes flush --job JOB   send the job's unsent MES events now, oldest first: 0
                        when none is left, 75 when the MES does not take them
)"},
};
// clang-format on

}  // namespace

const CommandRow* FindCommandRow(std::string_view name) {
  for (const CommandRow& row : kCommands) {
    if (name == row.name) return &row;
  }
  return nullptr;
}

const CommandRow* RowOf(CliCommand command) {
  for (const CommandRow& row : kCommands) {
    if (row.command == command) return &row;
  }
  return nullptr;
}

std::string CommandsWhere(bool CommandRow::*property) {
  std::string last;
  std::string list;
  for (const CommandRow& row : kCommands) {
    if (!(row.*property)) continue;
    if (!last.empty()) list += (list.empty() ? "" : ", ") + last;
    last = row.name;
  }
  return list.empty() ? last : list + " and " + last;
}

std::string CommandHelp() {
  std::string text;
  for (const CommandRow& row : kCommands) text += row.help;
  return text;
}
