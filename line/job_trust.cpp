// The folder is judged before the job: a station whose trusted keys cannot
// all be read, or that holds a private key, runs no job at all, for what it
// would trust is not what its owner put there.
#include "line/job_trust.h"

#include "line/key_text.h"
#include "line/line_status.h"

namespace {

constexpr char kNoProbeTouched[] = " No probe was touched.";

bool EndsWith(const std::string& name, const char* suffix) {
  const std::string tail(suffix);
  if (name.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i) {
    char c = name[name.size() - tail.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != tail[i]) return false;
  }
  return true;
}

struct TrustedKey {
  std::string file;
  KeyText key;
};

// Every *.pub of the folder read; false with trust's kBadKey on the first
// file that cannot be used.
bool ReadFolder(KeyFolder& folder, std::vector<TrustedKey>* keys, JobTrust* trust) {
  std::vector<std::string> names;
  std::string why;
  if (!folder.List(&names, &why)) {
    trust->reason = TrustReason::kBadKey;
    trust->file = folder.Where();
    trust->why = "the folder cannot be listed (" + why + ")";
    return false;
  }
  for (const std::string& name : names) {
    const bool isPublic = EndsWith(name, ".pub");
    if (!isPublic && !EndsWith(name, ".key")) continue;
    std::string bytes;
    TrustedKey trusted{name, {}};
    if (!isPublic) {
      why = "it is a private key, which does not belong on a station: remove it";
    } else if (!folder.Read(name, &bytes, &why)) {
      why = "it cannot be read (" + why + ")";
    } else if (LooksLikePrivateKey(bytes)) {
      why = "it is a private key, which does not belong on a station: remove it";
    } else if (ReadKeyText(bytes, &trusted.key, &why)) {
      keys->push_back(std::move(trusted));
      continue;
    }
    trust->reason = TrustReason::kBadKey;
    trust->file = name;
    trust->why = why;
    return false;
  }
  return true;
}

bool Expired(const LineJob& job, const std::string& nowUtc) {
  return job.validUntil && !nowUtc.empty() && nowUtc > *job.validUntil;
}

}  // namespace

bool Authorized(const JobTrust& trust) {
  return trust.reason == TrustReason::kNoKeysHere || trust.reason == TrustReason::kTrusted;
}

const char* TrustReasonWord(TrustReason reason) {
  switch (reason) {
    case TrustReason::kNoKeysHere:
      return "no-keys";
    case TrustReason::kTrusted:
      return "trusted";
    case TrustReason::kUnsigned:
      return "unsigned";
    case TrustReason::kSignature:
      return "signature";
    case TrustReason::kUntrustedKey:
      return "untrusted-key";
    case TrustReason::kExpired:
      return "expired";
    case TrustReason::kBadKey:
      return "bad-key";
  }
  return "";
}

JobTrust DecideJobTrust(const LineJob& job, const JobTrustContext& context) {
  JobTrust trust;
  if (job.signature) trust.keyId = job.signature->keyId;
  std::vector<TrustedKey> keys;
  if (context.folder != nullptr) {
    trust.folder = context.folder->Where();
    if (!ReadFolder(*context.folder, &keys, &trust)) return trust;
  }
  trust.trustedKeys = static_cast<int>(keys.size());
  if (!keys.empty()) {
    if (!job.signature) {
      trust.reason = TrustReason::kUnsigned;
      return trust;
    }
    const TrustedKey* signer = nullptr;
    for (const TrustedKey& key : keys) {
      if (key.key.id == job.signature->keyId) signer = &key;
    }
    if (signer == nullptr) {
      trust.reason = TrustReason::kUntrustedKey;
      return trust;
    }
    std::string why;
    const VerifyResult verified = context.verifier->Verify(
        signer->key.blob, job.signature->signedBytes, job.signature->signature, &why);
    if (verified == VerifyResult::kBadKey) {
      trust.reason = TrustReason::kBadKey;
      trust.file = signer->file;
      trust.why = "its key cannot be used (" + why + ")";
      return trust;
    }
    if (verified != VerifyResult::kGood) {
      trust.reason = TrustReason::kSignature;
      return trust;
    }
    trust.reason = TrustReason::kTrusted;
  }
  if (Expired(job, context.nowUtc)) trust.reason = TrustReason::kExpired;
  return trust;
}

std::string DescribeRefusal(const LineJob& job, const JobTrust& trust) {
  const std::string name = "The job " + job.name + " (" + job.path + ")";
  switch (trust.reason) {
    case TrustReason::kUnsigned:
      return name + " is not signed, and this PC runs only jobs signed by a key in " +
             trust.folder + "." + kNoProbeTouched;
    case TrustReason::kSignature:
      return name + " was changed after key " + trust.keyId +
             " signed it: its signature does not match its bytes. Ask for the job as it was "
             "signed." +
             kNoProbeTouched;
    case TrustReason::kUntrustedKey:
      return name + " is signed by key " + trust.keyId + ", which is not among the " +
             std::to_string(trust.trustedKeys) + " keys trusted in " + trust.folder + "." +
             kNoProbeTouched;
    case TrustReason::kExpired:
      return name + " was valid until " + job.validUntil.value_or("") +
             ". Ask for a job valid today." + kNoProbeTouched;
    case TrustReason::kBadKey:
      return (trust.file == trust.folder
                  ? "The trusted-keys folder " + trust.folder
                  : "The trusted key file " + trust.file + " in " + trust.folder) +
             " cannot be used: " + trust.why + ". No job runs on this PC until it is put right." +
             kNoProbeTouched;
    case TrustReason::kNoKeysHere:
    case TrustReason::kTrusted:
      break;
  }
  return "";
}

int AuthorizeJob(LineJob* job, const JobTrustContext& context, JobTrust* trust,
                 std::string* message) {
  *trust = DecideJobTrust(*job, context);
  job->trustedSigner = trust->reason == TrustReason::kTrusted ? trust->keyId : "";
  if (Authorized(*trust)) return 0;
  *message = DescribeRefusal(*job, *trust);
  return kJobNotAuthorized;
}
