// A job's [signature] section, its new keys and the key files, read from
// bytes: what reads, and for each bad input the line and key named.
#include <gtest/gtest.h>

#include <string>

#include "line/base64.h"
#include "line/job_file.h"
#include "line/key_text.h"
#include "tests/support/fake_key_crypto.h"

namespace {

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const std::string kJob =
    "[job]\r\nname = line3\r\nserials = SN0001-SN0009\r\nlog = line3.csv\r\n"
    "steps = write-serial\r\n";
const std::string kId = "1a2b3c4d5e6f7081";
const std::string kSignature = EncodeBase64(std::string(384, '\x5A'));

std::string Section(const std::string& lines) {
  return "[signature]\r\n" + lines;
}

std::string Signed(const std::string& more = "") {
  return Section("key_id = " + kId + "\r\nsigned_utc = 2026-12-09T06:00:00Z\r\nsignature = " +
                 kSignature + "\r\n" + more);
}

TEST(JobSignatureTest, ReadsTheSectionOrNamesWhatIsWrong) {
  struct Case {
    const char* what;
    std::string text;
    int line;         // 0: the job reads
    const char* key;  // the key named
    const char* reason;
  };
  const Case cases[] = {
      {"signed", kJob + Signed(), 0, "", ""},
      {"signed, LF line ends and a comment",
       "[job]\nname = a\nserials = S1-S2\nlog = l.csv\n"
       "steps = write-serial\n; signed below\n" +
           Signed(),
       0, "", ""},
      {"signature missing",
       kJob + Section("key_id = " + kId +
                      "\r\nsigned_utc = "
                      "2026-12-09T06:00:00Z\r\n"),
       6, "signature", "missing"},
      {"section doubled", kJob + Signed(Signed()), 10, "[signature]", "given twice"},
      {"key given twice", kJob + Signed("key_id = " + kId + "\r\n"), 10, "key_id", "given twice"},
      {"unknown key", kJob + Signed("comment = hi\r\n"), 10, "comment",
       "not a key of the [signature] section"},
      {"a job's key added after signing", kJob + Signed("units = 500\r\n"), 10, "units",
       "a job's keys go before it"},
      {"a section after it", kJob + Signed("[job]\r\n"), 10, "[job]", "the file's last"},
      {"base64 that does not decode",
       kJob + Section("key_id = " + kId +
                      "\r\nsigned_utc = 2026-12-09T06:00:00Z\r\n"
                      "signature = ab$d\r\n"),
       9, "signature", "not base64"},
      {"a signature of another length",
       kJob + Section("key_id = " + kId + "\r\nsigned_utc = 2026-12-09T06:00:00Z\r\nsignature = " +
                      EncodeBase64(std::string(256, 'x')) + "\r\n"),
       9, "signature", "256 bytes"},
      {"key id not 16 digits",
       kJob + Section("key_id = 1a2b\r\nsigned_utc = 2026-12-09T06:00:00Z"
                      "\r\nsignature = " +
                      kSignature + "\r\n"),
       7, "key_id", "16 hexadecimal"},
      {"signed_utc not a time",
       kJob + Section("key_id = " + kId +
                      "\r\nsigned_utc = yesterday\r\nsignature = " + kSignature + "\r\n"),
       8, "signed_utc", "UTC time"},
      {"valid_until a date", kJob + "valid_until = 2026-12-31\r\n", 0, "", ""},
      {"valid_until a month 13", kJob + "valid_until = 2026-13-01\r\n", 6, "valid_until",
       "a UTC time"},
      {"units none", kJob + "units = 0\r\n", 6, "units", "1 to 1000000000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LineJob job;
    JobProblem problem;
    const bool read = ParseLineJob(c.text, "line3.job", "00", &job, &problem);
    EXPECT_EQ(read, c.line == 0) << DescribeJobProblem("line3.job", problem);
    if (c.line == 0) continue;
    EXPECT_EQ(problem.line, c.line);
    EXPECT_EQ(problem.key, c.key);
    EXPECT_TRUE(Has(problem.reason, c.reason)) << problem.reason;
  }
}

// What is signed is the bytes before the [signature] line as they are, line
// ends and all, and the new keys are kept as the log writes times.
TEST(JobSignatureTest, KeepsTheSignedBytesAsTheyAre) {
  const std::string head = "\xEF\xBB\xBF" + kJob + "valid_until = 2026-12-31\r\nunits = 500\n";
  LineJob job;
  JobProblem problem;
  ASSERT_TRUE(ParseLineJob(head + Signed(), "line3.job", "00", &job, &problem))
      << DescribeJobProblem("line3.job", problem);
  ASSERT_TRUE(job.signature);
  EXPECT_EQ(job.signature->signedBytes, head);
  EXPECT_EQ(job.signature->keyId, kId);
  EXPECT_EQ(job.signature->signature, std::string(384, '\x5A'));
  EXPECT_EQ(job.validUntil, "2026-12-31T23:59:59Z");
  EXPECT_EQ(job.units, 500u);
}

TEST(Base64Test, DecodesOnlyCanonicalText) {
  struct Case {
    const char* text;
    std::optional<std::string> bytes;
  };
  const Case cases[] = {
      {"", ""},
      {"Zg==", "f"},
      {"Zm8=", "fo"},
      {"Zm9v", "foo"},
      {"Zh==", {}},
      {"Zm9", {}},
      {"Zg=a", {}},
      {"Z===", {}},
      {"Zm9v\r\n", {}},
      {"Zg==Zm9v", {}},
      {"+/+/", "\xfb\xff\xbf"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(DecodeBase64(c.text), c.bytes);
    if (c.bytes) {
      EXPECT_EQ(EncodeBase64(*c.bytes), c.text);
    }
  }
}

TEST(KeyTextTest, ReadsAKeyFileOrSaysWhatItIs) {
  const std::string good = fake_keys::PublicKeyFile(1);
  std::string otherId = good;
  otherId.replace(otherId.find(fake_keys::IdOf(1)), 16, fake_keys::IdOf(2));
  KeyText privateKey;
  privateKey.kind = KeyKind::kPrivate;
  privateKey.id = fake_keys::IdOf(1);
  privateKey.blob = fake_keys::PrivateBlob(1);
  struct Case {
    const char* what;
    std::string text;
    const char* why;  // empty: it reads
  };
  const Case cases[] = {
      {"public", good, ""},
      {"private, unprotected", FormatKeyText(privateKey), ""},
      {"a job file", kJob, "not a key file of this program"},
      {"a newer format", "velkoro public key 2\r\n" + good.substr(good.find('\n') + 1),
       "version \"2\""},
      {"id of another key", otherId, "not the id of its key"},
      {"blob damaged", good.substr(0, good.size() - 10) + "$$$$$$$$\r\n", "not base64"},
      {"private blob in a public file",
       "velkoro public key 1\r\nid = " + fake_keys::IdOf(1) +
           "\r\nrsa_public = " + EncodeBase64(fake_keys::PrivateBlob(1)) + "\r\n",
       "not an RSA public key"},
      {"id missing", "velkoro public key 1\r\nrsa_public = AAAA\r\n", "its id is missing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KeyText key;
    std::string why;
    EXPECT_EQ(ReadKeyText(c.text, &key, &why), *c.why == '\0') << why;
    EXPECT_TRUE(Has(why, c.why)) << why;
  }
}

}  // namespace
