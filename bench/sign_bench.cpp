// What a job's signature adds to its load at a station: the job read and
// judged with one trusted key through CNG, beside the same job read alone
// (Windows build, run under Wine):
//   bash scripts/wine-run.sh build/windows/bench/sign_bench.exe
#include <chrono>
#include <cstdio>
#include <string>

#include "line/job_file.h"
#include "line/job_signature.h"
#include "line/job_trust.h"
#include "line/key_text.h"
#include "common/sha256.h"
#include "line/system_trust.h"
#include "tests/support/fake_key_crypto.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kLoads = 200;

double MicrosecondsPerLoad(Clock::time_point start) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kLoads;
}

}  // namespace

int main() {
  KeyCrypto& crypto = SystemKeyCrypto();
  std::string privateBlob, publicBlob, why;
  if (!crypto.NewKeyPair(&privateBlob, &publicBlob, &why)) {
    std::fprintf(stderr, "no key: %s\n", why.c_str());
    return 1;
  }
  const std::string head =
      "[job]\r\nname = line3\r\nimage = line3.saf\r\nimage_sha256 = " + std::string(64, 'a') +
      "\r\nimage_crc32 = 0A1B2C3D\r\nserials = SN0001-SN9999\r\nlog = line3.csv\r\n"
      "steps = update,write-serial\r\nvalid_until = 2099-12-31\r\nunits = 5000\r\n";
  JobSignature signature;
  signature.keyId = KeyIdOf(publicBlob);
  signature.signedUtc = "2026-12-09T06:00:00Z";
  if (!crypto.Sign(privateBlob, head, &signature.signature, &why)) {
    std::fprintf(stderr, "not signed: %s\n", why.c_str());
    return 1;
  }
  const std::string text = head + FormatSignatureSection(signature, "\r\n");
  fake_keys::MemoryKeyFolder folder;
  folder.files["owner.pub"] =
      FormatKeyText(KeyText{KeyKind::kPublic, signature.keyId, false, publicBlob});
  const JobTrustContext context{&folder, &crypto, "2026-12-10T00:00:00Z"};

  LineJob job;
  JobProblem problem;
  Clock::time_point start = Clock::now();
  for (int i = 0; i < kLoads; ++i) ParseLineJob(head, "line3.job", Sha256Hex(head), &job, &problem);
  const double unsignedLoad = MicrosecondsPerLoad(start);

  int refused = 0;
  start = Clock::now();
  for (int i = 0; i < kLoads; ++i) {
    ParseLineJob(text, "line3.job", Sha256Hex(text), &job, &problem);
    JobTrust trust;
    std::string message;
    refused += AuthorizeJob(&job, context, &trust, &message) != 0;
  }
  const double signedLoad = MicrosecondsPerLoad(start);
  std::printf("job load, unsigned, no key trusted:        %8.1f us\n", unsignedLoad);
  std::printf("job load, signed, 1 trusted key (CNG):     %8.1f us\n", signedLoad);
  std::printf("the signature check's share per job load:  %8.1f us (%d of %d refused)\n",
              signedLoad - unsignedLoad, refused, kLoads);
  return refused == 0 ? 0 : 1;
}
