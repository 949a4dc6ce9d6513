// The commands of the console program, each over the same procedures and
// operations the window uses. A runner reports every operation it ran to
// emit (one record; list one per probe) and returns the exit status.
#pragma once

#include <functional>

#include "cli/cli_options.h"
#include "cli/console_io.h"
#include "cli/progress_text.h"
#include "common/probe_protocol.h"
#include "ledger/ledger.h"
#include "ledger/operation_record.h"
#include "line/job_file.h"
#include "line/job_run.h"

class MesOutbox;
struct ProbeSession;

struct RunContext {
  ConsoleIo& io;
  ProgressText& progress;
  const CliOptions& options;
  // May change the record: a success the log could not record becomes a
  // log failure. requestSent: a write-serial's request left the program,
  // which settles its claim.
  std::function<void(OperationRecord&, bool requestSent)> emit;
  // Why the write and update questions are answered OK without asking
  // ("--yes"), or nullptr to ask them; agreed is set when one was answered
  // OK, so a station asks once for its whole run.
  const char* answeredBy = nullptr;
  bool agreed = false;
  // One probe of a station run: the run, not the runner, says what comes next.
  bool inStation = false;
  // The device index the command's procedures opened last, set by the runner.
  int opened = kAnyProbeIndex;
  // The --log store, or nullptr.
  Ledger* ledger = nullptr;
  // write-serial: its request was handed to the transport.
  bool writeRequestSent = false;
  // The line job the command runs for (run JOB, report --job), or nullptr.
  const LineJob* job = nullptr;
  // Holds a device index for the run (a tray's each): 0, or the status
  // that ends the run, said already.
  std::function<int(int index)> holdDevice;
  // run JOB: the job's one run, its image pinned.
  const JobRun* run = nullptr;
  // report --job of a job with an MES: its outbox, which the report shows.
  const MesOutbox* mesOutbox = nullptr;
  // The probe's link, image and update for the command's procedures: each
  // probe run its own. RunCommand gives the command one of its own when the
  // caller holds none.
  ProbeSession* session = nullptr;
  // Keys and signatures (CNG on Windows), and what decides whether a job
  // may run here (job check); nullptr in a build without them.
  KeyCrypto* crypto = nullptr;
  const JobTrustContext* trust = nullptr;
};

// The one dispatch of every command to its runner.
int RunCommand(RunContext& context);

int RunList(RunContext& context);
int RunReadSerial(RunContext& context);
int RunWriteSerial(RunContext& context);
int RunUpdate(RunContext& context);
int RunVerify(RunContext& context);
int RunCheck(RunContext& context);
int RunSerials(RunContext& context);
int RunReport(RunContext& context);
int RunAudit(RunContext& context);

// The message of an interrupted operation, and the record's closing figures;
// the probe is the one the operation opened (context.opened) when no --probe
// named it.
// finished: the operation ran to its end, so a Ctrl+C during it stopped
// nothing and its result stands.
inline constexpr char kInterruptedText[] = "Stopped by Ctrl+C.";
void FinishRecord(RunContext& context, OperationRecord& record, double started,
                  bool finished = false);
