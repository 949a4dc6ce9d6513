// The report's three forms, each a pure function of its figures: one JSON
// object, a short text summary, and a self-contained page (inline SVG
// charts; nothing fetched, no script).
#pragma once

#include <string>

#include "report/report_figures.h"

// The layout of the JSON object; it grows only by fields added.
inline constexpr int kReportSchema = 1;

// One object on one line, without its line end.
std::string FormatReportJson(const ReportFigures& figures);

// For a person at the console; where names the store.
std::string FormatReportText(const ReportFigures& figures, const std::string& where);

struct PageOptions {
  std::string where;       // the store, for the title
  std::string madeAt;      // when the page was made, ISO 8601 UTC
  int refreshSeconds = 0;  // > 0: the page reloads itself this often
};

// Every page carries this in its head, so a later report knows a file as a
// page it may replace, and any other file as one it must leave alone.
inline constexpr char kReportPageMark[] =
    "<meta name=\"generator\" content=\"Velkoro writer line report\">";

// A whole HTML document for a 1920x1080 screen that prints on one A4 page.
std::string FormatReportPage(const ReportFigures& figures, const PageOptions& options);

// A share as a percentage with one decimal ("96.7 %"), or "-" without one.
std::string PercentText(const std::optional<double>& share);
