// The report as one HTML page: no script, font or picture is fetched; the
// charts are inline SVG that scales with its box. Laid out for a 1920x1080
// screen beside the line, and for one landscape A4 page in print.
#include <algorithm>
#include <cstdio>

#include "report/report_formats.h"

namespace {

constexpr const char* kColours[] = {"#2f6fd0", "#e08a1e", "#2a9d6a", "#8a4fc7",
                                    "#c9415b", "#1f9bb5", "#7a7f27", "#6b6f7a"};
constexpr size_t kColourCount = sizeof kColours / sizeof kColours[0];
// The charts' drawing boxes, in SVG units.
constexpr int kHourWidth = 1100, kHourHeight = 400;
constexpr int kCauseWidth = 720, kCauseHeight = 310;
constexpr int kLeftMargin = 48, kBottomMargin = 46, kTopMargin = 30;
constexpr int kMostHourLabels = 12;
constexpr size_t kMostCauses = 7;
constexpr size_t kMessageChars = 52;

constexpr char kStyle[] = R"(<style>
@page { size: A4 landscape; margin: 8mm; }
* { box-sizing: border-box; }
html, body { margin: 0; background: #eef0f4; color: #1b2230;
  font-family: "Segoe UI", "DejaVu Sans", Arial, sans-serif; }
body { padding: 22px 30px; }
header { display: flex; justify-content: space-between; align-items: baseline; }
h1 { font-size: 30px; margin: 0; }
.meta { color: #566073; font-size: 16px; }
.cards { display: grid; grid-template-columns: repeat(4, 1fr); gap: 18px; margin: 16px 0; }
.card, section { background: #fff; border-radius: 10px; box-shadow: 0 1px 3px rgba(0,0,0,.14); }
.card { padding: 12px 20px; }
.label { font-size: 15px; color: #566073; text-transform: uppercase; letter-spacing: .06em; }
.value { font-size: 50px; font-weight: 700; line-height: 1.15; }
.note { font-size: 14px; color: #566073; }
.bad .value { color: #c0392b; }
.grid { display: grid; grid-template-columns: 3fr 2fr; gap: 18px; }
section { padding: 10px 18px 12px; min-width: 0; }
h2 { font-size: 18px; margin: 0 0 6px; }
svg { width: 100%; height: auto; display: block; }
svg text { font-size: 15px; fill: #36404f; }
table { border-collapse: collapse; width: 100%; font-size: 15px; }
th, td { padding: 4px 6px; text-align: right; border-bottom: 1px solid #e2e5eb; white-space: nowrap; }
th { color: #566073; font-weight: 600; white-space: normal; vertical-align: bottom; }
th:first-child, td:first-child { text-align: left; }
tr.total td { font-weight: 700; border-top: 2px solid #9aa3b2; }
.commands { display: block; color: #566073; font-size: 13px; font-weight: 400; }
@media print {
  html, body { background: #fff; }
  body { padding: 0; zoom: .55; }
  .card, section { box-shadow: none; border: 1px solid #c8cdd6; }
}
</style>)";

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Num(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

// A cell the page's tests read back: data-figure names what it shows.
std::string Cell(const std::string& figure, const std::string& value) {
  return "<td data-figure=\"" + Escape(figure) + "\">" + Escape(value) + "</td>";
}

// The hour chart's axis: a step of 1, 2 or 5 times a power of ten and at
// most four of them up to the top, so every label is a whole number at its
// true height (a top of 1 has the labels 0 and 1 alone).
struct Axis {
  long step;
  long steps;
  long Top() const { return step * steps; }
};

Axis NiceAxis(long most) {
  constexpr long kMostSteps = 4;
  for (long power = 1;; power *= 10) {
    for (long factor : {1L, 2L, 5L}) {
      const long step = power * factor;
      if (step * kMostSteps >= most) return Axis{step, std::max(1L, (most + step - 1) / step)};
    }
  }
}

std::string Card(const std::string& id, const std::string& label, const std::string& value,
                 const std::string& note, bool bad = false) {
  return "<div class=\"card" + std::string(bad ? " bad" : "") + "\"><div class=\"label\">" + label +
         "</div><div class=\"value\" data-figure=\"" + id + "\">" + Escape(value) +
         "</div><div class=\"note\">" + Escape(note) + "</div></div>";
}

std::string HourChart(const ReportFigures& figures) {
  std::string svg = "<svg viewBox=\"0 0 " + std::to_string(kHourWidth) + " " +
                    std::to_string(kHourHeight) + "\" role=\"img\">";
  if (figures.perHour.empty()) return svg + "<text x=\"20\" y=\"40\">No operations.</text></svg>";
  std::vector<std::string> stations;
  for (const StationFigures& station : figures.stations) stations.push_back(station.station);
  int64_t first = figures.perHour.front().hour, last = first;
  long most = 1;
  for (const HourFigures& hour : figures.perHour) {
    first = std::min(first, hour.hour);
    last = std::max(last, hour.hour);
    most = std::max(most, hour.succeeded);
  }
  const Axis axis = NiceAxis(most);
  const long top = axis.Top();
  const double plotWidth = kHourWidth - kLeftMargin - 10;
  const double plotHeight = kHourHeight - kTopMargin - kBottomMargin;
  const double slot = plotWidth / static_cast<double>(last - first + 1);
  const double bar = slot * 0.8 / static_cast<double>(std::max<size_t>(1, stations.size()));
  const double base = kTopMargin + plotHeight;
  for (long tick = 0; tick <= axis.steps; ++tick) {
    const double y =
        base - plotHeight * static_cast<double>(tick) / static_cast<double>(axis.steps);
    svg += "<line x1=\"" + std::to_string(kLeftMargin) + "\" x2=\"" +
           std::to_string(kHourWidth - 10) + "\" y1=\"" + Num(y) + "\" y2=\"" + Num(y) +
           "\" stroke=\"#e2e5eb\"/><text x=\"" + std::to_string(kLeftMargin - 6) + "\" y=\"" +
           Num(y + 5) + "\" text-anchor=\"end\">" + std::to_string(axis.step * tick) + "</text>";
  }
  for (const HourFigures& hour : figures.perHour) {
    const size_t index = static_cast<size_t>(
        std::find(stations.begin(), stations.end(), hour.station) - stations.begin());
    const double height =
        plotHeight * static_cast<double>(hour.succeeded) / static_cast<double>(top);
    const double x = kLeftMargin + slot * static_cast<double>(hour.hour - first) + slot * 0.1 +
                     bar * static_cast<double>(index);
    svg += "<rect x=\"" + Num(x) + "\" y=\"" + Num(base - height) + "\" width=\"" + Num(bar) +
           "\" height=\"" + Num(height) + "\" fill=\"" + kColours[index % kColourCount] +
           "\"><title>" + Escape(hour.station) + " " + HourText(hour.hour) + ": " +
           std::to_string(hour.succeeded) + "</title></rect>";
  }
  const int64_t every = std::max<int64_t>(1, (last - first + kMostHourLabels) / kMostHourLabels);
  for (int64_t hour = first; hour <= last; hour += every) {
    const std::string text = HourText(hour);
    const double x = kLeftMargin + slot * (static_cast<double>(hour - first) + 0.5);
    svg += "<text x=\"" + Num(x) + "\" y=\"" + Num(base + 20) + "\" text-anchor=\"middle\">" +
           text.substr(11, 5) + "</text>";
    if (hour == first || text.substr(11, 2) == "00" || (hour - first) / every == 0 ||
        HourText(hour - every).substr(0, 10) != text.substr(0, 10)) {
      svg += "<text x=\"" + Num(x) + "\" y=\"" + Num(base + 40) +
             "\" text-anchor=\"middle\" style=\"font-size:13px\">" + text.substr(0, 10) + "</text>";
    }
  }
  double legend = kLeftMargin;
  for (size_t i = 0; i < stations.size(); ++i) {
    svg += "<rect x=\"" + Num(legend) + "\" y=\"6\" width=\"14\" height=\"14\" fill=\"" +
           kColours[i % kColourCount] + "\"/><text x=\"" + Num(legend + 20) + "\" y=\"18\">" +
           Escape(stations[i]) + "</text>";
    legend += 40 + 9.0 * static_cast<double>(stations[i].size());
  }
  return svg + "</svg>";
}

std::string CauseChart(const ReportFigures& figures) {
  std::string svg = "<svg viewBox=\"0 0 " + std::to_string(kCauseWidth) + " " +
                    std::to_string(kCauseHeight) + "\" role=\"img\">";
  if (figures.failures.empty()) return svg + "<text x=\"20\" y=\"40\">No failures.</text></svg>";
  const size_t shown = std::min(figures.failures.size(), kMostCauses);
  long others = 0;
  for (size_t i = shown; i < figures.failures.size(); ++i) others += figures.failures[i].count;
  const long most = figures.failures.front().count;
  const double row = static_cast<double>(kCauseHeight - 10) / static_cast<double>(kMostCauses + 1);
  const double width = kCauseWidth - 70;
  auto bar = [&](size_t i, const std::string& label, long count) {
    const double y = 6 + row * static_cast<double>(i);
    const double length = width * static_cast<double>(count) / static_cast<double>(most);
    svg += "<text x=\"0\" y=\"" + Num(y + 16) + "\">" + Escape(label) +
           "</text><rect x=\"0\" y=\"" + Num(y + 22) + "\" width=\"" + Num(std::max(2.0, length)) +
           "\" height=\"14\" rx=\"3\" fill=\"#c9415b\"/><text x=\"" + Num(length + 8) + "\" y=\"" +
           Num(y + 34) + "\" style=\"font-weight:700\">" + std::to_string(count) + "</text>";
  };
  for (size_t i = 0; i < shown; ++i) {
    const FailureFigures& failure = figures.failures[i];
    std::string message = failure.message;
    if (message.size() > kMessageChars) message = message.substr(0, kMessageChars - 3) + "...";
    bar(i, std::to_string(failure.result) + "  " + message, failure.count);
  }
  if (others > 0) bar(shown, "other causes", others);
  return svg + "</svg>";
}

std::string CommandsText(const StationFigures& station) {
  std::string text;
  for (const auto& [command, count] : station.commands) {
    text += (text.empty() ? "" : ", ") + command + " " + std::to_string(count);
  }
  return text;
}

// A record's time to the minute, as a person reads it.
std::string Minute(const std::string& time) {
  if (time.empty()) return "-";
  std::string text = time.substr(0, 16);
  if (text.size() > 10 && text[10] == 'T') text[10] = ' ';
  return text;
}

std::string StationRow(const StationFigures& station, const std::string& name, bool total) {
  const std::string key = total ? "line" : "station:" + station.station;
  return std::string(total ? "<tr class=\"total\">" : "<tr>") + "<td>" + Escape(name) +
         " <span class=\"commands\">" + Escape(CommandsText(station)) + "</span></td>" +
         Cell(key + ".operations", std::to_string(station.operations)) +
         Cell(key + ".probes", std::to_string(station.probes)) +
         Cell(key + ".succeeded", std::to_string(station.succeeded)) +
         Cell(key + ".failed", std::to_string(station.failed)) +
         Cell(key + ".yield", PercentText(station.Yield())) +
         Cell(key + ".first", Minute(station.first)) + Cell(key + ".last", Minute(station.last)) +
         "</tr>";
}

}  // namespace

std::string FormatReportPage(const ReportFigures& figures, const PageOptions& options) {
  std::string page =
      std::string("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">") +
      kReportPageMark;
  if (options.refreshSeconds > 0) {
    page +=
        "<meta http-equiv=\"refresh\" content=\"" + std::to_string(options.refreshSeconds) + "\">";
  }
  page += "<title>Line report: " + Escape(options.where) + "</title>" + kStyle + "</head><body>";
  page += "<header><h1>Line report</h1><div class=\"meta\">" +
          Escape(figures.from.empty() ? "-" : figures.from) + " to " +
          Escape(figures.to.empty() ? "-" : figures.to) + " &middot; " + Escape(options.where) +
          " &middot; made " + Escape(options.madeAt) + "</div></header>";
  long failures = 0;
  for (const FailureFigures& failure : figures.failures) failures += failure.count;
  std::string left = "-", leftNote = "no numbers in the pool";
  if (figures.job) {
    left = std::to_string(figures.job->rangeLeft);
    leftNote = "of " + std::to_string(figures.job->rangeSize) + " in job " + figures.job->tag;
  } else if (!figures.pool.empty()) {
    uint64_t above = 0;
    for (const SeriesFigures& series : figures.pool) above += series.above;
    left = std::to_string(above);
    leftNote = "above the highest of each series";
  }
  page += "<div class=\"cards\">" +
          Card("probes", "Probes made", std::to_string(figures.line.probes),
               std::to_string(figures.stations.size()) + " stations, " +
                   std::to_string(figures.line.operations) + " operations") +
          Card("yield", "First-pass yield", PercentText(figures.line.Yield()),
               std::to_string(figures.line.firstPass) + " of " +
                   std::to_string(figures.line.probes) + " probes right first time") +
          Card("failures", "Failures", std::to_string(failures),
               std::to_string(figures.failures.size()) + " causes", failures > 0) +
          Card("left", "Numbers left", left, leftNote) + "</div>";
  page += "<div class=\"grid\"><section><h2>Successful operations per hour</h2>" +
          HourChart(figures) + "</section><section><h2>Failures by cause</h2>" +
          CauseChart(figures) + "</section>";
  page +=
      "<section><h2>Stations</h2><table><tr><th>station</th><th>operations</th><th>probes</th>"
      "<th>succeeded</th><th>failed</th><th>yield</th><th>first</th><th>last</th></tr>";
  for (const StationFigures& station : figures.stations) {
    page += StationRow(station, station.station.empty() ? "-" : station.station, false);
  }
  page += StationRow(figures.line, "line", true) + "</table>";
  page += "<p class=\"note\" data-figure=\"chain\">" + Escape(ChainLine(figures.chain)) + "</p>";
  if (!figures.mes.empty())
    page += "<p class=\"note\" data-figure=\"mes\">" + Escape(figures.mes) + "</p>";
  if (figures.damaged > 0) {
    page += "<p class=\"note\">" + std::to_string(figures.damaged) +
            " damaged line(s) of the record skipped.</p>";
  }
  page +=
      "</section><section><h2>Pool per series</h2><table><tr><th>series</th><th>written</th>"
      "<th>spent-failed</th><th>spent-unknown</th><th>claimed</th><th>highest</th><th>next</th>"
      "</tr>";
  for (const SeriesFigures& series : figures.pool) {
    const std::string key = "pool:" + series.series;
    page += "<tr><td>" + Escape(series.series) + "</td>" +
            Cell(key + ".written", std::to_string(series.written)) +
            Cell(key + ".spent_failed", std::to_string(series.spentFailed)) +
            Cell(key + ".spent_unknown", std::to_string(series.spentUnknown)) +
            Cell(key + ".claimed", std::to_string(series.claimed)) +
            Cell(key + ".highest", series.highest.empty() ? "-" : series.highest) +
            Cell(key + ".next", series.next.empty() ? "none" : series.next) + "</tr>";
  }
  return page + "</table></section></div></body></html>\n";
}
