// Whether this PC may run a job. A PC trusts the public keys (*.pub) in a
// folder named trusted-keys beside its programs. When that folder holds at
// least one, every job must carry a [signature] by one of them over its
// bytes as they are; without one, jobs run unsigned as ever. A job past its
// valid_until never runs. Both programs decide by this one function, before
// any probe or the record's store is touched; the folder and the signature
// check are seams, so the decision is tested with neither.
#pragma once

#include <string>
#include <vector>

#include "line/job_file.h"
#include "line/key_crypto.h"

inline constexpr char kTrustedKeysFolder[] = "trusted-keys";

// The trusted-keys folder: the Windows programs list the one beside them.
class KeyFolder {
 public:
  virtual ~KeyFolder() = default;
  // The folder as messages name it.
  virtual std::string Where() const = 0;
  // The names of the files in it. false with *why when it is there but
  // cannot be listed; true with no names when there is no such folder.
  virtual bool List(std::vector<std::string>* names, std::string* why) = 0;
  virtual bool Read(const std::string& name, std::string* bytes, std::string* why) = 0;
};

struct JobTrustContext {
  KeyFolder* folder = nullptr;  // nullptr: no key is trusted here
  SignatureVerifier* verifier = nullptr;
  std::string nowUtc;  // ISO 8601 UTC, as the log writes times
};

enum class TrustReason {
  kNoKeysHere,  // runs: no key is trusted on this PC
  kTrusted,     // runs: signed by a trusted key, unchanged since
  kUnsigned,
  kSignature,  // changed after it was signed (or signed over other bytes)
  kUntrustedKey,
  kExpired,
  kBadKey,  // a file of the folder cannot be used (or is a private key)
};

struct JobTrust {
  TrustReason reason = TrustReason::kNoKeysHere;
  std::string keyId;   // the job's signer, as its [signature] names it
  std::string file;    // kBadKey: the file of the folder
  std::string why;     // kBadKey: what is wrong with it
  std::string folder;  // the folder looked in
  int trustedKeys = 0;
};

bool Authorized(const JobTrust& trust);
// The word for a refusal ("unsigned", "signature", "untrusted-key",
// "expired", "bad-key"); "trusted" and "no-keys" for a job that runs.
const char* TrustReasonWord(TrustReason reason);

JobTrust DecideJobTrust(const LineJob& job, const JobTrustContext& context);

// One line for the operator: why the job does not run and what to do.
std::string DescribeRefusal(const LineJob& job, const JobTrust& trust);

// The decision for job: 0 with job->trustedSigner set when a trusted key
// signed it, or kJobNotAuthorized with the refusal's line in *message.
int AuthorizeJob(LineJob* job, const JobTrustContext& context, JobTrust* trust,
                 std::string* message);
