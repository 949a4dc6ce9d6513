// Whether a job may run on a PC, over an in-memory trusted-keys folder and
// the fake signature check: one row per station and job.
#include "line/job_trust.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "line/base64.h"
#include "line/line_status.h"
#include "tests/support/fake_key_crypto.h"

namespace {

using fake_keys::FakeKeyCrypto;
using fake_keys::MemoryKeyFolder;

const std::string kHead =
    "[job]\r\nname = line3\r\nserials = SN0001-SN0009\r\nlog = line3.csv\r\n"
    "steps = write-serial\r\nvalid_until = 2026-12-31\r\n";
const std::string kNow = "2026-06-01T08:00:00Z";

// The job's text signed by the fake key of seed over signedHead, with head
// in its place (the same, or changed after signing).
std::string SignedText(int seed, const std::string& signedHead, const std::string& head) {
  return head + "[signature]\r\nkey_id = " + fake_keys::IdOf(seed) +
         "\r\nsigned_utc = 2026-05-01T08:00:00Z\r\nsignature = " +
         EncodeBase64(FakeKeyCrypto::Signature(fake_keys::PublicBlob(seed), signedHead)) + "\r\n";
}

TEST(JobTrustTest, DecidesWhetherAJobRunsHere) {
  const std::string changed = kHead + "units = 5000\r\n";
  struct Case {
    const char* what;
    std::function<void(MemoryKeyFolder&)> folder;  // nullptr: the PC has no folder
    std::string job;
    std::string now;
    TrustReason reason;
    const char* file;  // bad-key: the file named
  };
  const auto trust = [](std::vector<int> seeds) {
    return [seeds](MemoryKeyFolder& folder) {
      for (int seed : seeds)
        folder.files["k" + std::to_string(seed) + ".pub"] = fake_keys::PublicKeyFile(seed);
    };
  };
  const auto plus = [](std::function<void(MemoryKeyFolder&)> first, std::string name,
                       std::optional<std::string> bytes) {
    return [=](MemoryKeyFolder& folder) {
      first(folder);
      folder.files[name] = bytes;
    };
  };
  const Case cases[] = {
      {"no folder, unsigned", nullptr, kHead, kNow, TrustReason::kNoKeysHere, ""},
      {"an empty folder, unsigned", trust({}), kHead, kNow, TrustReason::kNoKeysHere, ""},
      {"a folder of notes only", plus(trust({}), "readme.txt", "hello"), kHead, kNow,
       TrustReason::kNoKeysHere, ""},
      {"no folder, expired", nullptr, kHead, "2027-01-01T00:00:00Z", TrustReason::kExpired, ""},
      {"signed and trusted", trust({1, 2}), SignedText(1, kHead, kHead), kNow,
       TrustReason::kTrusted, ""},
      {"trusted on the last second", trust({1}), SignedText(1, kHead, kHead),
       "2026-12-31T23:59:59Z", TrustReason::kTrusted, ""},
      {"unsigned", trust({1}), kHead, kNow, TrustReason::kUnsigned, ""},
      {"changed after signing", trust({1}), SignedText(1, kHead, changed), kNow,
       TrustReason::kSignature, ""},
      {"line ends changed after signing", trust({1}),
       SignedText(1, kHead,
                  "[job]\nname = line3\nserials = SN0001-SN0009\nlog = line3.csv\n"
                  "steps = write-serial\nvalid_until = 2026-12-31\n"),
       kNow, TrustReason::kSignature, ""},
      {"signed by a key not trusted here", trust({2}), SignedText(1, kHead, kHead), kNow,
       TrustReason::kUntrustedKey, ""},
      {"signed, trusted, expired", trust({1}), SignedText(1, kHead, kHead), "2027-01-01T00:00:00Z",
       TrustReason::kExpired, ""},
      {"a private key in the folder", plus(trust({1}), "owner.key", "velkoro private key 1"),
       SignedText(1, kHead, kHead), kNow, TrustReason::kBadKey, "owner.key"},
      {"a private key named .pub", plus(trust({1}), "owner.pub", "velkoro private key 1\r\n"),
       SignedText(1, kHead, kHead), kNow, TrustReason::kBadKey, "owner.pub"},
      {"a key file that cannot be read", plus(trust({1}), "k9.pub", std::nullopt),
       SignedText(1, kHead, kHead), kNow, TrustReason::kBadKey, "k9.pub"},
      {"a damaged key file", plus(trust({1}), "k9.PUB", "velkoro public key 1\r\nid = x\r\n"),
       SignedText(1, kHead, kHead), kNow, TrustReason::kBadKey, "k9.PUB"},
      {"a folder that cannot be listed",
       [](MemoryKeyFolder& folder) { folder.listError = "error 5"; }, kHead, kNow,
       TrustReason::kBadKey, "trusted-keys"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LineJob job;
    JobProblem problem;
    ASSERT_TRUE(ParseLineJob(c.job, "line3.job", "00", &job, &problem))
        << DescribeJobProblem("line3.job", problem);
    MemoryKeyFolder folder;
    FakeKeyCrypto crypto;
    if (c.folder) c.folder(folder);
    const JobTrustContext context{c.folder ? &folder : nullptr, &crypto, c.now};
    JobTrust trust;
    std::string message;
    const int status = AuthorizeJob(&job, context, &trust, &message);
    EXPECT_EQ(trust.reason, c.reason) << TrustReasonWord(trust.reason) << ": " << message;
    EXPECT_EQ(trust.file, c.file);
    const bool runs = c.reason == TrustReason::kTrusted || c.reason == TrustReason::kNoKeysHere;
    EXPECT_EQ(status, runs ? 0 : kJobNotAuthorized);
    // The window's title names the signer only when this PC checked it.
    EXPECT_EQ(job.trustedSigner,
              c.reason == TrustReason::kTrusted ? fake_keys::IdOf(1) : std::string());
    // The operator's line names what to act on: the key, the file or the date.
    const std::string named = c.reason == TrustReason::kUntrustedKey ? fake_keys::IdOf(1)
                              : c.reason == TrustReason::kExpired    ? "2026-12-31T23:59:59Z"
                                                                     : c.file;
    EXPECT_NE(message.find(named), std::string::npos) << message;
  }
}

}  // namespace
