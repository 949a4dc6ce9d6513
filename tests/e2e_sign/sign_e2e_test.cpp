// The product owner's key and signature through CNG, and a station that
// trusts its public key: ostrelin-cli.exe and Ostrelin.exe copied into a
// folder of the test's own with a trusted-keys folder beside them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/e2e_common.h"
#include "tests/e2e_cli/cli_process.h"
#include "tests/support/emulator_process.h"
#include "tests/support/test_files.h"

namespace {

using e2e::Has;
using e2e::Narrow;

std::string ReadText(const std::wstring& path) {
  return test_files::ReadWholeFile(path);
}

void WriteText(const std::wstring& path, const std::string& text) {
  std::ofstream(std::filesystem::path(path), std::ios::binary) << text;
}

class SignTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = e2e::TestFolder();
    station_ = dir_ + L"\\station";
    std::filesystem::remove_all(std::filesystem::path(station_));
    std::filesystem::create_directories(std::filesystem::path(station_ + L"\\trusted-keys"));
    for (const wchar_t* program : {L"VELKORO_CLI", L"VELKORO_APP"}) {
      const std::wstring from = e2e::WindowsPath(e2e::Env(program));
      const std::wstring to = station_ + L"\\" + std::filesystem::path(from).filename().wstring();
      ASSERT_TRUE(::CopyFileW(from.c_str(), to.c_str(), FALSE)) << ::GetLastError();
    }
    ::DeleteFileW((dir_ + L"\\line.csv").c_str());
  }
  void TearDown() override { emulator_.Stop(); }

  // The owner's program: the build's own, beside which no key is trusted.
  cli_e2e::CliResult Owner(const std::vector<std::wstring>& args) {
    return cli_e2e::RunCli(e2e::WindowsPath(e2e::Env(L"VELKORO_CLI")), args, dir_);
  }
  cli_e2e::CliResult Station(const std::vector<std::wstring>& args) {
    return cli_e2e::RunCli(station_ + L"\\ostrelin-cli.exe", args, dir_);
  }
  std::wstring In(const wchar_t* name) { return dir_ + L"\\" + name; }
  void Trust(const std::wstring& file) {
    const std::wstring to =
        station_ + L"\\trusted-keys\\" + std::filesystem::path(file).filename().wstring();
    ASSERT_TRUE(::CopyFileW(file.c_str(), to.c_str(), FALSE)) << ::GetLastError();
  }
  // A serial-only job on the CSV log beside it, signed with key (none: not
  // signed).
  std::wstring Job(const wchar_t* key) {
    const std::wstring job = In(L"line.job");
    WriteText(job,
              "[job]\r\nname = line3\r\nserials = SG0001-SG0009\r\nlog = line.csv\r\n"
              "steps = write-serial\r\nvalid_until = 2099-12-31\r\n");
    if (key != nullptr) {
      const cli_e2e::CliResult signedJob = Owner({L"job", L"sign", job, L"--key", In(key)});
      EXPECT_EQ(signedJob.status, 0u) << signedJob.err;
    }
    return job;
  }

  std::wstring dir_, station_;
  emulator_process::Emulator emulator_;
};

TEST_F(SignTest, AStationRunsOnlyJobsItsKeysSigned) {
  const cli_e2e::CliResult made = Owner({L"key", L"new", In(L"owner")});
  ASSERT_EQ(made.status, 0u) << made.err;
  const std::string id = made.out.substr(0, 16);
  ASSERT_EQ(Owner({L"key", L"new", In(L"other")}).status, 0u);
  EXPECT_EQ(Owner({L"key", L"new", In(L"owner")}).status, 73u) << "a key is never replaced";
  const cli_e2e::CliResult shown = Owner({L"key", L"show", In(L"owner.key"), L"--json"});
  EXPECT_TRUE(Has(shown.out, "\"key_id\":\"" + id + "\",\"protection\":\"user\"")) << shown.out;
  Trust(In(L"owner.pub"));
  ASSERT_TRUE(emulator_.Start(e2e::WindowsPath(e2e::Env(L"VELKORO_EMULATOR")),
                              {L"--probe", L"0", L"--erase-ms", L"0"}));

  struct Case {
    const char* what;
    const wchar_t* key;                      // the key the job is signed with
    std::function<void(std::string&)> edit;  // the signed file changed
    std::function<void()> station;           // the station's folder changed
    DWORD status;
    const char* reason;
  };
  const Case cases[] = {
      {"signed by the trusted key", L"owner.key", nullptr, nullptr, 0, ""},
      {"one byte changed", L"owner.key", [](std::string& t) { t[t.find("SG0009") + 5] = '8'; },
       nullptr, 77, "signature"},
      {"unsigned", nullptr, nullptr, nullptr, 77, "unsigned"},
      {"signed by another key", L"other.key", nullptr, nullptr, 77, "untrusted-key"},
      {"a private key on the station", L"owner.key", nullptr, [&] { Trust(In(L"other.key")); }, 77,
       "bad-key"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring job = Job(c.key);
    if (c.edit) {
      std::string text = ReadText(job);
      c.edit(text);
      WriteText(job, text);
    }
    if (c.station) c.station();
    const std::string logBefore = ReadText(In(L"line.csv"));
    const cli_e2e::CliResult run = Station({L"run", job, L"--yes", L"--json"});
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.status == 0) {
      EXPECT_TRUE(Has(run.out, "\"result\":0")) << run.out;
      continue;
    }
    EXPECT_TRUE(Has(run.out, std::string("\"reason\":\"") + c.reason + "\"")) << run.out;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    EXPECT_EQ(ReadText(In(L"line.csv")), logBefore) << "the store is left alone";
  }
  emulator_.Stop();
}

// The window: a job it may not run is one ERROR box and no window; a job a
// trusted key signed names its signer in the title.
TEST_F(SignTest, TheWindowRefusesOrNamesTheSigner) {
  const cli_e2e::CliResult made = Owner({L"key", L"new", In(L"owner")});
  ASSERT_EQ(made.status, 0u) << made.err;
  Trust(In(L"owner.pub"));
  const std::wstring app = station_ + L"\\Ostrelin.exe";

  test_process::Child refused;
  ASSERT_TRUE(refused.Start(test_process::CommandLine(app, {L"--job", Job(nullptr)})));
  ASSERT_TRUE(e2e::WaitUntil([&] { return !e2e::DialogsOf(refused.id()).empty(); }));
  EXPECT_EQ(e2e::DialogsOf(refused.id()).size(), 1u) << "a window opened";
  e2e::MessageBoxInfo box;
  ASSERT_TRUE(e2e::WaitForMessageBox(refused.id(), box));
  EXPECT_EQ(Narrow(box.caption), "ERROR");
  EXPECT_TRUE(Has(Narrow(box.text), "is not signed")) << Narrow(box.text);
  EXPECT_TRUE(e2e::Answer(box, IDOK));
  EXPECT_TRUE(refused.Wait(e2e::kExitWaitMs));

  e2e::App signedApp;
  ASSERT_TRUE(signedApp.Start(app, {L"--job", Job(L"owner.key")}));
  EXPECT_TRUE(
      Has(Narrow(e2e::Text(signedApp.window())), " - line3 - signed by " + made.out.substr(0, 16)))
      << Narrow(e2e::Text(signedApp.window()));
  signedApp.Stop();
}

}  // namespace
