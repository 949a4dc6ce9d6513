// The report's page in a real browser: Debian's chromium, headless (no
// display needed, root allowed by --no-sandbox, every run under a time
// limit), loads it from a file: address. The rendered document must show
// the figures of a log whose numbers are known, the page must print on one
// A4 page, and a screenshot at 1920x1080 of a busy shift is kept for the
// guide and the README (VELKORO_REPORT_SHOT names where; the test's folder
// otherwise).
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "report/report_formats.h"
#include "tests/support/memory_log_file.h"
#include "tests/support/report_logs.h"
#include "tests/support/test_files.h"

namespace {

namespace fs = std::filesystem;

// A cold start of chromium under load takes seconds; none may take longer.
constexpr int kBrowserSeconds = 90;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class ReportPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test_files::OwnTempPath(
        "velkoro_report_page_" +
        std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "profile");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // The page of a log, written to the test's folder.
  fs::path Page(const std::string& log) {
    MemoryLogState file{log};
    NoLedgerWait waiter;
    std::unique_ptr<CsvLedger> ledger = NewMemoryLedger(file, waiter);
    ledger->KeepRows();
    ReportTally tally({});
    std::vector<SerialEntry> entries;
    std::string error;
    EXPECT_TRUE(ledger->Load(&error) && ledger->ReadRows(tally, &error) &&
                ledger->Entries(&entries, &error))
        << error;
    const fs::path page = dir_ / "report.html";
    std::ofstream(page, std::ios::binary)
        << FormatReportPage(tally.Figures(entries), {"line3.csv", "2026-12-09T14:00:00Z", 0});
    return page;
  }

  // Runs chromium on the page with the given options; its standard output.
  std::string Browser(const fs::path& page, const std::string& options) {
    const fs::path out = dir_ / "browser.out";
    const std::string command =
        "timeout -k 5 " + std::to_string(kBrowserSeconds) +
        " chromium --headless --no-sandbox --disable-gpu --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync "
        "--user-data-dir='" +
        (dir_ / "profile").string() + "' " + options + " 'file://" + page.string() + "' >'" +
        out.string() + "' 2>'" + (dir_ / "browser.err").string() + "'";
    const int status = std::system(command.c_str());
    EXPECT_EQ(status, 0) << command << "\n" << ReadAll(dir_ / "browser.err");
    return ReadAll(out);
  }

  fs::path dir_;
};

// The figures as the browser rendered them, by their data-figure names.
TEST_F(ReportPageTest, BrowserShowsTheKnownFigures) {
  const fs::path page = Page(report_logs::KnownShift());
  const std::string html = ReadAll(page);
  for (const char* fetch : {"<script", "src=", "href=", "url(", "@import", "http:", "https:"}) {
    EXPECT_EQ(html.find(fetch), std::string::npos) << fetch;
  }
  const std::string dom = Browser(page, "--dump-dom");
  std::map<std::string, std::string> shown;
  const std::regex figure(R"re(data-figure="([^"]+)">([^<]*)<)re");
  for (std::sregex_iterator at(dom.begin(), dom.end(), figure), end; at != end; ++at) {
    shown[(*at)[1]] = (*at)[2];
  }
  const std::map<std::string, std::string> expected = {
      {"probes", "6"},
      {"yield", "33.3 %"},
      {"failures", "5"},
      {"left", "9993"},
      {"station:ST1.probes", "3"},
      {"station:ST1.failed", "2"},
      {"station:ST2.yield", "33.3 %"},
      {"station:ST2.last", "2026-12-01 00:50"},
      {"line.operations", "10"},
      {"line.first", "2026-11-30 23:10"},
      {"pool:SN####.written", "3"},
      {"pool:SN####.spent_failed", "1"},
      {"pool:SN####.spent_unknown", "1"},
      {"pool:SN####.claimed", "1"},
      {"pool:SN####.next", "SN0007"},
  };
  for (const auto& [name, value] : expected) EXPECT_EQ(shown[name], value) << name;
  EXPECT_NE(dom.find("<svg"), std::string::npos);
}

// A busy shift: one A4 page in print, and the screenshot for the guide.
TEST_F(ReportPageTest, BusyShiftPrintsOnOnePageAndIsPictured) {
  const fs::path page = Page(report_logs::BusyShift(3, 4300));
  Browser(page, "--no-pdf-header-footer --print-to-pdf='" + (dir_ / "page.pdf").string() + "'");
  const std::string pdf = ReadAll(dir_ / "page.pdf");
  ASSERT_FALSE(pdf.empty());
  const std::regex pageObject(R"(/Type\s*/Page[^s])");
  EXPECT_EQ(std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), pageObject),
                          std::sregex_iterator()),
            1);

  const char* named = std::getenv("VELKORO_REPORT_SHOT");
  const fs::path shot = named != nullptr ? fs::path(named) : fs::current_path() / "report-page.png";
  Browser(page, "--hide-scrollbars --window-size=1920,1080 --screenshot='" + shot.string() + "'");
  const std::string png = ReadAll(shot);
  ASSERT_GT(png.size(), 24u);
  auto word = [&](size_t at) {
    return (static_cast<unsigned char>(png[at]) << 24) |
           (static_cast<unsigned char>(png[at + 1]) << 16) |
           (static_cast<unsigned char>(png[at + 2]) << 8) | static_cast<unsigned char>(png[at + 3]);
  };
  EXPECT_EQ(word(16), 1920u);
  EXPECT_EQ(word(20), 1080u);
}

}  // namespace
