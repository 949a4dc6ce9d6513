// report's options. Times are checked here, so a report never runs over a
// window it misread.
#include "cli/report_options.h"

#include <charconv>

#include "ledger/operation_record.h"
#include "report/report_figures.h"

namespace {

constexpr int kShortestPeriodSeconds = 1;
constexpr int kLongestPeriodSeconds = 86400;

bool Fail(std::string* error, std::string reason) {
  *error = std::move(reason);
  return false;
}

}  // namespace

bool IsReportOption(const std::string& word) {
  return word == "--since" || word == "--until" || word == "--html" || word == "--every" ||
         word == "--job" || word == "--witness";
}

bool ParseReportOption(const std::string& word, const std::u16string& value, CliOptions* options,
                       std::string* error) {
  const std::string text = Utf8(value);
  if (word == "--witness") {
    if (value.empty()) return Fail(error, "--witness needs a file name");
    options->witnessPath = value;
    return true;
  }
  if (word == "--html" || word == "--job") {
    if (value.empty()) return Fail(error, word + " needs a file name");
    (word == "--html" ? options->htmlPath : options->jobPath) = value;
    return true;
  }
  if (word == "--every") {
    int seconds = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (text.empty() || failure != std::errc() || end != text.data() + text.size() ||
        seconds < kShortestPeriodSeconds || seconds > kLongestPeriodSeconds) {
      return Fail(error, "--every takes seconds 1 to " + std::to_string(kLongestPeriodSeconds) +
                             ", not '" + text + "'");
    }
    options->everySeconds = seconds;
    return true;
  }
  const std::optional<std::string> time = ReportTime(text);
  if (!time) {
    return Fail(error, word +
                           " takes a UTC time such as 2026-12-09T06:00:00Z (or 2026-12-09), not '" +
                           text + "'");
  }
  (word == "--since" ? options->since : options->until) = *time;
  return true;
}

bool CheckReportOptionsFit(const CliOptions& options, bool probeGiven, std::string* error) {
  const bool report = options.command == CliCommand::kReport;
  if (!report && (options.since || options.until || !options.htmlPath.empty() ||
                  options.everySeconds > 0 || !options.jobPath.empty()))
    return Fail(error, "--since, --until, --html, --every and --job apply to report only");
  if (!options.witnessPath.empty() && options.command != CliCommand::kAudit)
    return Fail(error, "--witness applies to audit only");
  if (!report) return true;
  if (options.logPath.empty() && options.jobPath.empty())
    return Fail(error, "report needs --log, or --job whose record it reads");
  if (probeGiven) return Fail(error, "report touches no probe: --probe does not apply");
  if (options.everySeconds > 0 && options.htmlPath.empty())
    return Fail(error, "--every needs --html: it is the page that is written again");
  if (options.since && options.until && *options.until <= *options.since)
    return Fail(error, "--until must come after --since");
  return true;
}
