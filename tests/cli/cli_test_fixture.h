// The console program run in-process against emulated probes (each run
// holds its probes' sessions itself): fresh models for each test, files in a folder of its own, and
// the program's whole run with a scripted console and an in-memory log.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/cli_run.h"
#include "emulator/model_transport.h"
#include "tests/support/fake_console.h"
#include "tests/support/srecord_writer.h"
#include "tests/support/test_files.h"

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Clean();
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
      if (c == '/') c = '_';
    }
    dir_ = test_files::OwnTempPath("velkoro_cli_" + name);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    Clean();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  static void Clean() { model_link::Reset(); }

  probe_model::ProbeModel& Probe(int index = 0, probe_model::ProbeSettings settings = {}) {
    return model_link::Attach(index, settings);
  }

  std::u16string WriteFile(const std::string& text, const char* name = "image.saf") {
    const std::filesystem::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.u16string();
  }

  int Run(std::vector<std::u16string> args) {
    console_.out.clear();
    console_.err.clear();
    CliEnvironment environment{console_, logs_,       "BENCH-7", "1.0.0.0", "ostrelin-cli 1.0.0.0",
                               crypto_,  trustedKeys_};
    if (mesPoster_ != nullptr) {
      environment.mesPoster = [this](const MesUrl&, const std::string& token) {
        mesTokens_.push_back(token);
        return std::unique_ptr<MesPoster>(std::make_unique<LentPoster>(*mesPoster_));
      };
    }
    return RunCli(args, environment);
  }

  std::filesystem::path dir_;
  FakeConsole console_;
  MemoryLedgerOpener logs_;
  // Keys, signatures and the trusted-keys folder: none unless a test lends
  // them.
  KeyCrypto* crypto_ = nullptr;
  KeyFolder* trustedKeys_ = nullptr;
  // The MES a test lends (none: the events wait in the outbox), and the
  // tokens the program handed it.
  MesPoster* mesPoster_ = nullptr;
  std::vector<std::string> mesTokens_;

 private:
  // The program owns its poster; the test keeps the one it lent.
  class LentPoster : public MesPoster {
   public:
    explicit LentPoster(MesPoster& poster) : poster_(poster) {}
    MesAnswer Post(const std::string& id, const std::string& body) override {
      return poster_.Post(id, body);
    }

   private:
    MesPoster& poster_;
  };
};
