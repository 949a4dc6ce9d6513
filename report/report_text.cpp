// The report as JSON and as text.
#include <cstdio>

#include "ledger/operation_record.h"
#include "report/report_formats.h"

namespace {

std::string Number(long value) {
  return std::to_string(value);
}

// A share to four decimals, without trailing zeros; null without probes.
std::string ShareJson(const std::optional<double>& share) {
  if (!share) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.4f", *share);
  std::string out = text;
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  return out;
}

std::string CommandsJson(const std::map<std::string, long>& commands) {
  std::string json = "{";
  for (const auto& [command, count] : commands) {
    if (json.size() > 1) json += ',';
    json += JsonString(command);
    json += ':';
    json += Number(count);
  }
  return json + "}";
}

std::string FiguresJson(const StationFigures& figures, bool named) {
  std::string json = "{";
  if (named) json += "\"station\":" + JsonString(figures.station) + ",";
  json += "\"operations\":" + Number(figures.operations) +
          ",\"commands\":" + CommandsJson(figures.commands) +
          ",\"probes\":" + Number(figures.probes) + ",\"succeeded\":" + Number(figures.succeeded) +
          ",\"failed\":" + Number(figures.failed) +
          ",\"first_pass_yield\":" + ShareJson(figures.Yield()) +
          ",\"first\":" + JsonString(figures.first) + ",\"last\":" + JsonString(figures.last) + "}";
  return json;
}

}  // namespace

std::string PercentText(const std::optional<double>& share) {
  if (!share) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %%", *share * 100.0);
  return text;
}

std::string FormatReportJson(const ReportFigures& figures) {
  std::string json = "{\"schema\":" + std::to_string(kReportSchema) +
                     ",\"from\":" + JsonString(figures.from) + ",\"to\":" + JsonString(figures.to) +
                     ",\"line\":" + FiguresJson(figures.line, false) + ",\"stations\":[";
  for (size_t i = 0; i < figures.stations.size(); ++i) {
    if (i > 0) json += ',';
    json += FiguresJson(figures.stations[i], true);
  }
  json += "],\"failures\":[";
  for (size_t i = 0; i < figures.failures.size(); ++i) {
    const FailureFigures& failure = figures.failures[i];
    if (i > 0) json += ',';
    json += "{\"result\":" + std::to_string(failure.result) +
            ",\"message\":" + JsonString(failure.message) + ",\"count\":" + Number(failure.count) +
            ",\"stations\":" + CommandsJson(failure.stations) + "}";
  }
  json += "],\"per_hour\":[";
  for (size_t i = 0; i < figures.perHour.size(); ++i) {
    const HourFigures& hour = figures.perHour[i];
    if (i > 0) json += ',';
    json += "{\"hour\":" + JsonString(HourText(hour.hour)) +
            ",\"station\":" + JsonString(hour.station) +
            ",\"succeeded\":" + Number(hour.succeeded) + "}";
  }
  json += "],\"pool\":[";
  for (size_t i = 0; i < figures.pool.size(); ++i) {
    const SeriesFigures& series = figures.pool[i];
    if (i > 0) json += ',';
    json += "{\"series\":" + JsonString(series.series) + ",\"written\":" + Number(series.written) +
            ",\"spent_failed\":" + Number(series.spentFailed) +
            ",\"spent_unknown\":" + Number(series.spentUnknown) +
            ",\"claimed\":" + Number(series.claimed) +
            ",\"highest\":" + JsonString(series.highest) + ",\"next\":" + JsonString(series.next) +
            "}";
  }
  json += "]";
  if (figures.job) {
    json += ",\"job\":{\"tag\":" + JsonString(figures.job->tag) +
            ",\"range\":" + std::to_string(figures.job->rangeSize) +
            ",\"range_left\":" + std::to_string(figures.job->rangeLeft);
    // Only a capped job has units: the object of one without stays as it was.
    if (const std::optional<UnitCounts>& units = figures.job->units) {
      json += ",\"units\":{\"cap\":" + std::to_string(units->cap) +
              ",\"made\":" + std::to_string(units->made) +
              ",\"held\":" + std::to_string(units->held) +
              ",\"left\":" + std::to_string(units->Left()) + "}";
    }
    json += "}";
  }
  // Only a job with an MES has the field: the object of one without stays as it was.
  if (!figures.mes.empty()) json += ",\"mes\":" + JsonString(figures.mes);
  return json + ",\"damaged\":" + Number(figures.damaged) + "}";
}

std::string FormatReportText(const ReportFigures& figures, const std::string& where) {
  std::string text = "Report of " + where + " from " + (figures.from.empty() ? "-" : figures.from) +
                     " to " + (figures.to.empty() ? "-" : figures.to) + "\n";
  char line[256];
  std::snprintf(line, sizeof line, "%-16s %10s %7s %9s %7s %8s\n", "station", "operations",
                "probes", "succeeded", "failed", "yield");
  text += line;
  auto row = [&](const StationFigures& figures, const std::string& name) {
    std::snprintf(line, sizeof line, "%-16s %10ld %7ld %9ld %7ld %8s\n", name.c_str(),
                  figures.operations, figures.probes, figures.succeeded, figures.failed,
                  PercentText(figures.Yield()).c_str());
    text += line;
  };
  for (const StationFigures& station : figures.stations) {
    row(station, station.station.empty() ? "-" : station.station);
  }
  row(figures.line, "line");
  if (!figures.failures.empty()) text += "Failures by cause:\n";
  for (const FailureFigures& failure : figures.failures) {
    text += "  " + std::to_string(failure.count) + " x result " + std::to_string(failure.result) +
            ": " + failure.message + "\n";
  }
  for (const SeriesFigures& series : figures.pool) {
    text += "Pool " + series.series + ": " + Number(series.written) + " written, " +
            Number(series.spentFailed) + " spent-failed, " + Number(series.spentUnknown) +
            " spent-unknown, " + Number(series.claimed) + " claimed; highest " +
            (series.highest.empty() ? "-" : series.highest) + ", next " +
            (series.next.empty() ? "none" : series.next) + "\n";
  }
  if (figures.job) {
    text += "Job " + figures.job->tag + ": " + std::to_string(figures.job->rangeLeft) + " of " +
            std::to_string(figures.job->rangeSize) + " numbers of its range left\n";
    if (const std::optional<UnitCounts>& units = figures.job->units) {
      text += "Job " + figures.job->tag + ": units " + std::to_string(units->made) + " made, " +
              std::to_string(units->held) + " held, " + std::to_string(units->Left()) +
              " left of " + std::to_string(units->cap) + "\n";
    }
  }
  text += ChainLine(figures.chain) + "\n";
  if (!figures.mes.empty()) text += figures.mes + "\n";
  if (figures.damaged > 0) {
    text += "Skipped " + Number(figures.damaged) + " damaged line" +
            (figures.damaged == 1 ? "" : "s") + ".\n";
  }
  return text;
}
