// The console program's --help text, in one place with its exit statuses;
// each command's lines stand in its row of the command table.
#include "cli/cli_options.h"
#include "cli/command_table.h"

namespace {

constexpr char kHead[] = R"(ostrelin-cli: the Velkoro writer's procedures from the console.

Usage: ostrelin-cli COMMAND [OPTIONS]

Commands:
)";

constexpr char kOptions[] = R"(
Options:
  --probe N             use only \\.\VelkoroDeviceN (0 to 255); without it
                        exactly one probe must be attached
  --probe all           list, read-serial, write-serial (with --count-up),
                        update (with --led skip), verify, run JOB: every
                        probe attached when it starts, at once, each on a
                        thread of its own; the question is asked once for the
                        tray. Standard output: "INDEX [SERIAL] RESULT" per
                        probe in index order, then "Tray: N probes, S
                        succeeded, F failed." and "failed INDEX [SERIAL]
                        RESULT: MESSAGE" for each failure. Exit 0 when all
                        succeeded, else the status of the lowest-indexed
                        probe that failed; 1 when no probe is attached
  --probe-serial TEXT   list, read-serial, update, verify: use the probe whose
                        stored serial number is exactly TEXT (each attached
                        probe is asked; one too old for serial numbers never
                        matches). None: exit 1; two or more: exit 2
  --expect-crc32 HEX    check, verify, update: the image's CRC-32 as check
                        prints it must be HEX (8 digits), else exit 26 before
                        any probe is touched
  --if-different        update: read the image back first; when the probe
                        already holds it, nothing is erased, programmed or
                        executed and the result is 0
  --expect-version X.Y  update: after the reset instruction, ask the probe
                        (the one updated) for its version until it answers
                        X.Y: exit 25 when it answered only another version,
                        24 when it never answered
  --reset-timeout S     with --expect-version: wait at most S seconds (1 to
                        3600; default 60)
  --yes                 answer OK to the write and update questions
  --count-up            write-serial: take the first number counting up from
                        TEXT that the log's pool holds neither claimed,
                        written nor spent; print "next: " and the next one
  --repeat N            write-serial, update: a station run of N probes (0:
                        until Ctrl+C). For each probe: wait until one is
                        attached (the --probe N one, or exactly one), run the
                        command, print and log the outcome, wait until that
                        probe is removed. The write or update question is
                        asked once for the run. With --count-up each probe
                        takes the next number the log holds free; the run
                        ends after N successes, when the number cannot
                        advance, or at Ctrl+C, and prints "next: "
                        With --probe all, the tray station: a tray is taken
                        once no new probe has come for a second, the next
                        once every probe of it is removed; N counts probes
                        that succeeded
  --resume              write-serial (needs --log): start after the highest
                        number of TEXT's series (the same text before the
                        trailing digits, as many digits) the log holds,
                        instead of TEXT (TEXT when it holds none)
  --led ask|skip        update: ask about the LED display after the update
                        (ask, the default), or leave the run-out and the
                        question out and report the LED check as skipped
  --since TIME          report: only records at or after TIME (UTC, such as
                        2026-12-09T06:00:00Z, or a date)
  --until TIME          report: only records before TIME
  --job JOB             report: only the records of the line job JOB, and how
                        many numbers of its range are left (and of a capped
                        job's units, how many are made, held and left)
  --html FILE           report: write the report as one page to FILE (charts
                        drawn in it; nothing fetched), replaced whole; FILE
                        is new or a page of this program, never the log,
                        the job or its image (64) nor any other file (74)
  --every S             report with --html: write the page again every S
                        seconds (1 to 86400), reading only what the record
                        gained; the page reloads itself. Ctrl+C ends it (0)
  --json                one JSON object per operation (per probe for list,
                        per number for serials) on standard output instead
                        of text; a run that ends before any operation (a
                        usage error, a log that cannot be used) prints one
                        object too, its "result" the exit status; report:
                        its figures as one object; --help and --version:
                        one object whose "message" is their text
  --log FILE            append one CSV line per operation to FILE, which is
                        also the pool of serial numbers the stations sharing
                        it draw from: write-serial claims its number in FILE
                        (a "claim" line) before the write request is sent and
                        records the outcome after; a number claimed, written
                        or spent is never written again (exit status 65).
                        FILE must be empty or a log of this program.
  --log odbc:CONNECTION the same in the line's database over ODBC
  --key FILE            job sign: the private key (NAME.key) to sign with
  --portable            key new: write NAME.key unprotected, for a key that
                        must move to another PC or user (a warning says so)
  --quiet               no progress
  --help, -h, /?        this text
  --version             the program's version

Standard output carries only data; messages, warnings and progress go to
standard error. A question needs a console: with standard input redirected,
give --yes (and --led skip for update).

Exit status: 0 success; 1 to 22 the result code of the failure; 23 the
operator declined a question (nothing was changed); 24 the probe never
answered after the reset (--expect-version); 25 it answered only another
version; 26 the image's CRC-32 is not --expect-crc32, or the image's
SHA-256 or CRC-32 is not the job's (no probe touched); 27 every number of
the job's range is held (no probe touched); 28 every unit of the job's cap
is held: made, or claimed by a station making one (no probe touched); 64
usage error; 65 the log holds the number (claimed, written or spent; no probe
touched); 74 the log cannot be opened, read or appended to, is not a log of
this program, or another program held it for 60 s (no probe is touched after
that; a number whose outcome could not be recorded stays spent), or standard
output could not be written; 130 stopped by Ctrl+C (a --repeat 0 run ends
with 0 when stopped between probes); 73 job new found JOB already there; 78
the job file cannot be used (the message names the line and the key), or
a key file cannot be used; 77 the job may not run on this PC: its "reason"
(--json) is unsigned, signature (changed after signing), untrusted-key,
expired or bad-key (a file of the trusted-keys folder beside the program
cannot be used, or is a private key); no probe or store was touched.
report: 0 when its figures were given (--every: until Ctrl+C), 74 when the
record cannot be read or the page cannot be written, 78 as above.

Several probes at once: --probe all handles a tray in one run; or start one
ostrelin-cli per probe, each with its own --probe N. They may share one --log
FILE.
)";

}  // namespace

std::string CliHelpText() {
  return std::string(kHead) + CommandHelp() + kOptions;
}
