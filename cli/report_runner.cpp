// report: the record's figures as text, JSON or a page. It reads the store
// opened for reading (nothing created, locked or written there) and touches
// no probe. With --every the page is written again from the rows the store
// gained since the last look, each time whole: beside the file first, then
// renamed over it, so a browser reloading it never reads half a page.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cli/file_identity.h"
#include "cli/runners.h"
#include "common/file_path.h"
#include "ledger/log_target.h"
#include "ledger/serial_pool.h"
#include "line/job_file.h"
#include "line/job_load.h"
#include "line/job_units.h"
#include "line/line_recorder.h"
#include "line/mes_outbox.h"
#include "report/report_formats.h"

namespace {

// A browser may hold the page open just as it is replaced; the rename is
// tried again this often, this far apart.
constexpr int kRenameTries = 10;
constexpr unsigned kRenameRetryMs = 100;
constexpr char kBesideSuffix[] = ".new";
// How much of a file's start is read to find the page's mark in its head.
constexpr size_t kHeadBytes = 4096;

// A file the page must never replace, and what to call it.
struct KeptFile {
  std::filesystem::path path;
  std::string what;
};

// The record and, with --job, the job file and its image.
std::vector<KeptFile> KeptFiles(const CliOptions& options, const LineJob* job) {
  std::vector<KeptFile> kept;
  const LogTarget log = ParseLogTarget(options.logPath);
  if (log.kind == LogKind::kFile) kept.push_back({ToPath(options.logPath), "the log " + log.shown});
  if (job != nullptr) {
    kept.push_back({ToPath(FromUtf8(job->path)), "the job " + job->path});
    if (!job->image.empty())
      kept.push_back({ToPath(FromUtf8(job->image)), "the job's image " + job->image});
  }
  return kept;
}

// Whether the file at target is a page this program wrote: only such a
// page is replaced, so a wrong --html costs no one's file.
bool IsOwnPage(const std::filesystem::path& target) {
  std::ifstream in(target, std::ios::binary);
  std::string head(kHeadBytes, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  return head.find(kReportPageMark) != std::string::npos;
}

// 0 when the page may go to target (no file there, or an earlier page);
// else the exit status with the reason.
int PageMayGoTo(const std::filesystem::path& target, const std::vector<KeptFile>& kept,
                std::string* why) {
  for (const KeptFile& file : kept) {
    if (SameFile(target, file.path)) {
      *why = "--html names " + file.what + ": the page never replaces it";
      return kExitUsage;
    }
  }
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::symlink_status(target, error);
  if (!std::filesystem::exists(status)) return kExitOk;
  if (std::filesystem::is_regular_file(status) && IsOwnPage(target)) return kExitOk;
  *why = "it is there and is not a page of this program, so it is left as it is";
  return kExitLogFailed;
}

// A name beside the page that no file has: an earlier FILE.new may be
// someone's.
std::filesystem::path BesideName(const std::filesystem::path& target) {
  for (int n = 0;; ++n) {
    std::filesystem::path beside = target;
    std::string suffix;
    if (n > 0) {
      suffix += '.';
      suffix += std::to_string(n);
    }
    suffix += kBesideSuffix;
    beside += suffix;
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(beside, error))) return beside;
  }
}

bool WritePage(ConsoleIo& io, const std::filesystem::path& target, const std::string& page,
               std::string* error) {
  const std::filesystem::path beside = BesideName(target);
  {
    std::ofstream out(beside, std::ios::binary | std::ios::trunc);
    out << page;
    out.close();
    if (!out) {
      *error = "it could not be written beside it, as " + beside.filename().string();
      std::error_code ignored;
      std::filesystem::remove(beside, ignored);
      return false;
    }
  }
  std::error_code code;
  for (int tries = 0; tries < kRenameTries; ++tries) {
    std::filesystem::rename(beside, target, code);
    if (!code) return true;
    io.Wait(kRenameRetryMs);
  }
  *error = "it could not be replaced (" + code.message() + ")";
  std::error_code ignored;
  std::filesystem::remove(beside, ignored);
  return false;
}

// The job's range: how many of its numbers no record holds.
JobFigures JobFiguresOf(const LineJob& job, const std::vector<SerialEntry>& entries) {
  JobFigures figures{JobTag(job), JobRangeSize(job), JobRangeLeft(job, entries)};
  if (job.units) figures.units = JobUnitCounts(job, entries);
  return figures;
}

int Fail(RunContext& context, const std::string& message, int status = kExitLogFailed) {
  context.io.Err("ERROR: " + message + "\n");
  if (context.options.json) {
    OperationRecord record;
    record.command = CommandName(context.options.command);
    record.result = status;
    record.message = message;
    context.io.Out(FormatJson(record) + "\n");
  }
  return status;
}

}  // namespace

int RunReport(RunContext& context) {
  ConsoleIo& io = context.io;
  const CliOptions& options = context.options;
  Ledger& ledger = *context.ledger;
  const LineJob* job = context.job;
  ReportTally tally(ReportFilter{options.since, options.until,
                                 job != nullptr ? std::optional(JobTag(*job)) : std::nullopt});
  const std::string page = Utf8(options.htmlPath);
  const std::filesystem::path pagePath = ToPath(options.htmlPath);
  const std::vector<KeptFile> kept = KeptFiles(options, job);
  if (!options.htmlPath.empty()) {
    std::string why;
    // Before any look at the store: a page that would replace the record is
    // a command line to mend, not a round to retry.
    if (const int status = PageMayGoTo(pagePath, kept, &why); status == kExitUsage)
      return Fail(context, why, status);
  }
  for (bool first = true;; first = false) {
    std::string error;
    std::vector<SerialEntry> entries;
    if (!ledger.ReadRows(tally, &error) || !ledger.Entries(&entries, &error)) {
      const std::string message =
          "The record " + ledger.Where() + " could not be read (" + error + ").";
      if (first) return Fail(context, message);
      // A passing fault (a file being replaced) costs one round, not the screen.
      io.Err("WARNING: " + message + " The page stays as it was.\n");
    } else {
      ReportFigures figures = tally.Figures(entries);
      if (job != nullptr) figures.job = JobFiguresOf(*job, entries);
      if (context.mesOutbox != nullptr)
        figures.mes = MesReportLine(context.mesOutbox->Status(), UtcNowMs());
      // The page first: a run whose page fails prints its one JSON object,
      // the failure's, not the figures' as well.
      if (!options.htmlPath.empty()) {
        const PageOptions look{ledger.Where(), io.TimeUtc(), options.everySeconds};
        int status = PageMayGoTo(pagePath, kept, &error);
        if (status == kExitOk && !WritePage(io, pagePath, FormatReportPage(figures, look), &error))
          status = kExitLogFailed;
        if (status != kExitOk) {
          const std::string message = "The page " + page + " was not written: " + error + ".";
          if (first) return Fail(context, message, status);
          io.Err("WARNING: " + message + "\n");
        } else if (first) {
          io.Err(
              "Wrote " + page +
              (options.everySeconds > 0
                   ? ", again every " + std::to_string(options.everySeconds) + " s; Ctrl+C stops.\n"
                   : ".\n"));
        }
      }
      if (options.json) {
        io.Out(FormatReportJson(figures) + "\n");
      } else if (options.htmlPath.empty()) {
        io.Out(FormatReportText(figures, ledger.Where()));
      }
    }
    if (options.everySeconds == 0) return kExitOk;
    io.Wait(static_cast<unsigned>(options.everySeconds) * 1000u);
    if (io.Interrupted()) return kExitOk;
  }
}
