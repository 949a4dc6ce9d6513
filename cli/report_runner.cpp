// report: the record's figures as text, JSON or a page. It reads the store
// opened for reading (nothing created, locked or written there) and touches
// no probe. With --every the page is written again from the rows the store
// gained since the last look, each time whole: beside the file first, then
// renamed over it, so a browser reloading it never reads half a page.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cli/runners.h"
#include "ledger/serial_pool.h"
#include "line/job_file.h"
#include "report/report_formats.h"

namespace {

// A browser may hold the page open just as it is replaced; the rename is
// tried again this often, this far apart.
constexpr int kRenameTries = 10;
constexpr unsigned kRenameRetryMs = 100;
constexpr char kBesideSuffix[] = ".new";

bool WritePage(ConsoleIo& io, const std::u16string& path, const std::string& page,
               std::string* error) {
  const std::filesystem::path target(path);
  std::filesystem::path beside = target;
  beside += kBesideSuffix;
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
  JobFigures figures{JobTag(job), JobRangeSize(job), 0};
  uint64_t held = 0;
  for (const SerialEntry& entry : entries)
    held += Held(entry.state) && InJobRange(job, entry.serial);
  figures.rangeLeft = figures.rangeSize - std::min(held, figures.rangeSize);
  return figures;
}

int Fail(RunContext& context, const std::string& message) {
  context.io.Err("ERROR: " + message + "\n");
  if (context.options.json) {
    OperationRecord record;
    record.command = CommandName(context.options.command);
    record.result = kExitLogFailed;
    record.message = message;
    context.io.Out(FormatJson(record) + "\n");
  }
  return kExitLogFailed;
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
      if (options.json) {
        io.Out(FormatReportJson(figures) + "\n");
      } else if (options.htmlPath.empty()) {
        io.Out(FormatReportText(figures, ledger.Where()));
      }
      if (!options.htmlPath.empty()) {
        const PageOptions look{ledger.Where(), io.TimeUtc(), options.everySeconds};
        if (!WritePage(io, options.htmlPath, FormatReportPage(figures, look), &error)) {
          const std::string message = "The page " + page + " was not written: " + error + ".";
          if (first) return Fail(context, message);
          io.Err("WARNING: " + message + "\n");
        } else if (first) {
          io.Err(
              "Wrote " + page +
              (options.everySeconds > 0
                   ? ", again every " + std::to_string(options.everySeconds) + " s; Ctrl+C stops.\n"
                   : ".\n"));
        }
      }
    }
    if (options.everySeconds == 0) return kExitOk;
    io.Wait(static_cast<unsigned>(options.everySeconds) * 1000u);
    if (io.Interrupted()) return kExitOk;
  }
}
