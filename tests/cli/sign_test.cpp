// The product owner's commands and a station's refusals, on the console
// over the fake keys and an in-memory trusted-keys folder: keys made and
// shown, a job signed, and run JOB refused (77, its reason) before its store
// or a probe is touched, or run.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "cli/cli_options.h"
#include "tests/cli/cli_test_fixture.h"
#include "tests/support/fake_key_crypto.h"
#include "tests/support/test_files.h"

namespace {

using fake_keys::FakeKeyCrypto;
using fake_keys::MemoryKeyFolder;

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class SignTest : public CliTest {
 protected:
  void SetUp() override {
    CliTest::SetUp();
    crypto_ = &crypto;
  }
  std::u16string In(const char* name) { return (dir_ / name).u16string(); }

  FakeKeyCrypto crypto;
  MemoryKeyFolder folder;
};

TEST_F(SignTest, MakesAndShowsKeys) {
  struct Case {
    std::vector<std::u16string> args;
    int status;
    const char* out;
    const char* err;
  };
  const std::string first = fake_keys::IdOf(1);
  const Case cases[] = {
      {{u"key", u"new", In("owner")}, kExitOk, first.c_str(), "only this Windows user"},
      {{u"key", u"new", In("owner")}, kExitCannotCreate, "", "owner.key is there already"},
      {{u"key", u"new", In("spare"), u"--portable"}, kExitOk, "", "WARNING: "},
      {{u"key", u"show", In("owner.pub")}, kExitOk, "kind: public", ""},
      {{u"key", u"show", In("owner.key"), u"--json"},
       kExitOk,
       "\"kind\":\"private\",\"key_id\":",
       ""},
      {{u"key", u"show", In("line.job")}, kExitJobUnusable, "", "not a key file of this program"},
      {{u"job", u"sign", In("line.job"), u"--key", In("owner.pub")},
       kExitJobUnusable,
       "",
       "is a public key"},
      {{u"key", u"new", In("x"), u"--key", In("owner.key")},
       kExitUsage,
       "",
       "--key does not apply to key new"},
  };
  WriteFile("[job]\r\nname = a\r\nserials = S1-S9\r\nlog = l.csv\r\nsteps = write-serial\r\n",
            "line.job");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.args[1].begin(), c.args[1].end()) + " " + c.err);
    EXPECT_EQ(Run(c.args), c.status) << console_.err;
    EXPECT_TRUE(Has(console_.out, c.out)) << console_.out;
    EXPECT_TRUE(Has(console_.err, c.err)) << console_.err;
  }
  EXPECT_TRUE(Has(ReadText(dir_ / "owner.key"), "protection = user"));
  EXPECT_TRUE(Has(ReadText(dir_ / "spare.key"), "protection = none"));
}

// A serial-only job signed by key 1, then run at a station as it stands.
TEST_F(SignTest, RunsOnlyWhatThisPcTrusts) {
  const std::string job =
      "[job]\r\nname = line3\r\nserials = SN0001-SN0009\r\nlog = line3.csv\r\n"
      "steps = write-serial\r\nunits = 40\r\nvalid_until = ";
  struct Case {
    const char* what;
    std::vector<int> trusted;  // the folder's keys; empty: no folder
    bool sign;
    std::function<void(std::string&)> edit;  // the signed file changed
    int status;
    const char* reason;                     // the JSON's "reason" when refused
    const char* validUntil = "2024-12-31";  // now is 2024-05-06T07:08:09Z
  };
  const Case cases[] = {
      {"no folder: unsigned runs", {}, false, nullptr, kExitOk, ""},
      {"signed by a trusted key", {2, 1}, true, nullptr, kExitOk, ""},
      {"unsigned", {1}, false, nullptr, kExitNotAuthorized, "unsigned"},
      {"one byte changed",
       {1},
       true,
       [](std::string& t) { t[t.find("SN0009") + 5] = '8'; },
       kExitNotAuthorized,
       "signature"},
      {"line ends changed",
       {1},
       true,
       [](std::string& t) {
         for (size_t at; (at = t.find("\r\n")) != std::string::npos;) t.erase(at, 1);
       },
       kExitNotAuthorized,
       "signature"},
      {"signed by another key", {2}, true, nullptr, kExitNotAuthorized, "untrusted-key"},
      {"expired", {1}, true, nullptr, kExitNotAuthorized, "expired", "2024-05-06T07:08:08Z"},
      {"a key after signing",
       {1},
       true,
       [](std::string& t) { t += "units = 4000\r\n"; },
       kExitJobUnusable,
       ""},
      {"a private key on the station", {1, -1}, true, nullptr, kExitNotAuthorized, "bad-key"},
  };
  ASSERT_EQ(Run({u"key", u"new", In("owner")}), kExitOk) << console_.err;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Clean();
    Probe(0);
    logs_.text.clear();
    logs_.opens = 0;
    const std::u16string path = WriteFile(job + c.validUntil + "\r\n", "line3.job");
    if (c.sign) {
      ASSERT_EQ(Run({u"job", u"sign", path, u"--key", In("owner.key")}), kExitOk) << console_.err;
      // Signing again replaces the section: one signature, still good.
      ASSERT_EQ(Run({u"job", u"sign", path, u"--key", In("owner.key")}), kExitOk);
    }
    std::string text = ReadText(dir_ / "line3.job");
    if (c.edit) c.edit(text);
    WriteFile(text, "line3.job");
    folder.files.clear();
    for (int seed : c.trusted) {
      folder.files["k" + std::to_string(seed) + (seed < 0 ? ".key" : ".pub")] =
          seed < 0 ? ReadText(dir_ / "owner.key") : fake_keys::PublicKeyFile(seed);
    }
    trustedKeys_ = c.trusted.empty() ? nullptr : &folder;

    const int status = Run({u"run", path, u"--yes", u"--json"});
    EXPECT_EQ(status, c.status) << console_.err;
    const bool refused = c.status != kExitOk;
    EXPECT_EQ(Has(console_.out, std::string("\"reason\":\"") + c.reason + "\""), *c.reason != 0)
        << console_.out;
    EXPECT_EQ(logs_.opens == 0, refused) << "a refused job's store stays closed";
    EXPECT_EQ(model_link::OpenAttempts().empty(), refused) << "and no probe is touched";
    if (refused) {
      EXPECT_TRUE(Has(console_.err, "ERROR: ")) << console_.err;
    }
  }
}

TEST_F(SignTest, CheckShowsTheSignerAndTheTrustHere) {
  ASSERT_EQ(Run({u"key", u"new", In("owner")}), kExitOk);
  const std::u16string path = WriteFile(
      "[job]\nname = line3\nserials = SN1-SN9\nlog = l.csv\nsteps = write-serial\nunits = 40\n",
      "line3.job");
  ASSERT_EQ(Run({u"job", u"sign", path, u"--key", In("owner.key")}), kExitOk) << console_.err;
  EXPECT_EQ(Run({u"job", u"check", path, u"--json"}), kExitOk) << console_.err;
  EXPECT_TRUE(Has(console_.out, "\"signed_by\":\"" + fake_keys::IdOf(1) +
                                    "\",\"signed_utc\":\"2024-05-06T07:08:09Z\",\"trusted\":"
                                    "false,\"trust\":\"no-keys\",\"trusted_keys\":0,"
                                    "\"valid_until\":null,\"units\":40"))
      << console_.out;
  folder.files["k2.pub"] = fake_keys::PublicKeyFile(2);
  trustedKeys_ = &folder;
  EXPECT_EQ(Run({u"job", u"check", path}), kExitNotAuthorized);
  EXPECT_TRUE(Has(console_.out, "signed_by: " + fake_keys::IdOf(1) +
                                    " (signed 2024-05-06T07:08:09Z)\ntrust: refused "
                                    "(untrusted-key)\nunits: 40 (0 made, 0 held, 40 left)\n"))
      << console_.out;
}

}  // namespace
