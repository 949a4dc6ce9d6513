// A key's private half never leaves its file unprotected unless its owner
// asked for --portable; a job is signed only when it reads as a usable job,
// and its new text is read back before it replaces the old.
#include "cli/key_runners.h"

#include <filesystem>
#include <fstream>

#include "common/file_path.h"
#include "common/sha256.h"
#include "line/durable_file.h"
#include "line/job_load.h"
#include "line/job_signature.h"
#include "line/key_text.h"

namespace {

constexpr size_t kMostJobBytes = 64 * 1024;
constexpr size_t kMostKeyBytes = 16 * 1024;
constexpr char kNoCrypto[] = "keys and signatures need Windows' CNG, which this build lacks";

int Refuse(RunContext& context, int status, const std::string& message) {
  context.io.Err("ERROR: " + message + "\n");
  return status;
}

bool Exists(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

bool WriteNew(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

// The key file's text read, or a refusal (78) naming it.
int ReadKeyFile(RunContext& context, const std::u16string& path, KeyText* key) {
  std::string bytes, why;
  if (!ReadFileBytes(path, kMostKeyBytes, &bytes)) {
    return Refuse(context, kExitJobUnusable, Utf8(path) + " cannot be read as a key file");
  }
  if (!ReadKeyText(bytes, key, &why)) {
    return Refuse(context, kExitJobUnusable, Utf8(path) + " cannot be used: " + why);
  }
  return kExitOk;
}

// The line end the job's text uses, so its signature section looks like
// the rest of it.
std::string LineEndOf(const std::string& text) {
  const size_t end = text.find('\n');
  return end != std::string::npos && (end == 0 || text[end - 1] != '\r') ? "\n" : "\r\n";
}

}  // namespace

int RunKeyNew(RunContext& context) {
  if (context.crypto == nullptr) return Refuse(context, kExitCannotCreate, kNoCrypto);
  const std::string name = Utf8(context.options.argument);
  const std::filesystem::path privatePath = ToPath(context.options.argument + u".key");
  const std::filesystem::path publicPath = ToPath(context.options.argument + u".pub");
  for (const auto& path : {privatePath, publicPath}) {
    if (Exists(path)) {
      return Refuse(context, kExitCannotCreate,
                    Utf8(path.u16string()) + " is there already: a key file is never replaced");
    }
  }
  KeyText privateKey, publicKey;
  std::string why;
  if (!context.crypto->NewKeyPair(&privateKey.blob, &publicKey.blob, &why)) {
    return Refuse(context, kExitCannotCreate, "no key could be made: " + why);
  }
  publicKey.id = privateKey.id = KeyIdOf(publicKey.blob);
  privateKey.kind = KeyKind::kPrivate;
  privateKey.protectedForUser = !context.options.portable;
  if (privateKey.protectedForUser &&
      !context.crypto->Protect(privateKey.blob, &privateKey.blob, &why)) {
    return Refuse(context, kExitCannotCreate, "the private key could not be protected: " + why);
  }
  if (!WriteNew(privatePath, FormatKeyText(privateKey))) {
    return Refuse(context, kExitCannotCreate, name + ".key cannot be written");
  }
  if (!WriteNew(publicPath, FormatKeyText(publicKey))) {
    // Half a pair is no key: the private half written a moment ago goes.
    std::error_code ignored;
    std::filesystem::remove(privatePath, ignored);
    return Refuse(context, kExitCannotCreate, name + ".pub cannot be written");
  }
  if (context.options.portable) {
    context.io.Err("WARNING: " + name +
                   ".key is not protected: whoever can read it can sign jobs every station "
                   "trusting " +
                   name + ".pub runs. Keep it offline.\n");
  }
  context.io.Err(
      "The key " + publicKey.id + " is made: " + name + ".key signs jobs (" +
      (privateKey.protectedForUser ? "only this Windows user can use it" : "unprotected") + "); " +
      name + ".pub goes into the trusted-keys folder of the line's PCs.\n");
  context.io.Out(publicKey.id + "\n");
  return kExitOk;
}

int RunKeyShow(RunContext& context) {
  KeyText key;
  if (const int status = ReadKeyFile(context, context.options.argument, &key); status != 0) {
    return status;
  }
  const bool isPublic = key.kind == KeyKind::kPublic;
  const char* protection = isPublic ? nullptr : key.protectedForUser ? "user" : "none";
  if (context.options.json) {
    context.io.Out("{\"file\":" + JsonString(Utf8(context.options.argument)) +
                   ",\"kind\":" + JsonString(isPublic ? "public" : "private") +
                   ",\"key_id\":" + JsonString(key.id) + ",\"protection\":" +
                   (protection ? JsonString(protection) : std::string("null")) + "}\n");
  } else {
    context.io.Out("key_id: " + key.id + "\nkind: " + (isPublic ? "public" : "private") + "\n" +
                   (protection ? std::string("protection: ") + protection + "\n" : ""));
  }
  return kExitOk;
}

int RunJobSign(RunContext& context) {
  if (context.crypto == nullptr) return Refuse(context, kExitJobUnusable, kNoCrypto);
  const std::u16string& path = context.options.argument;
  std::string bytes;
  if (!ReadFileBytes(path, kMostJobBytes, &bytes)) {
    return Refuse(context, kExitJobUnusable, Utf8(path) + " cannot be read as a job file");
  }
  LineJob job;
  JobProblem problem;
  if (!ParseLineJob(bytes, Utf8(path), Sha256Hex(bytes), &job, &problem)) {
    return Refuse(context, kExitJobUnusable,
                  DescribeJobProblem(Utf8(path), problem) + ". Nothing was signed.");
  }
  KeyText key;
  if (const int status = ReadKeyFile(context, context.options.keyPath, &key); status != 0) {
    return status;
  }
  const std::string keyName = Utf8(context.options.keyPath);
  if (key.kind != KeyKind::kPrivate) {
    return Refuse(context, kExitJobUnusable,
                  keyName + " is a public key: a job is signed with its private key, NAME.key");
  }
  std::string privateBlob = key.blob, publicBlob, why;
  if (key.protectedForUser && !context.crypto->Unprotect(key.blob, &privateBlob, &why)) {
    return Refuse(context, kExitJobUnusable, keyName + " cannot be used: " + why);
  }
  if (!context.crypto->PublicBlobOf(privateBlob, &publicBlob, &why)) {
    return Refuse(context, kExitJobUnusable, keyName + " cannot be used: " + why);
  }
  if (KeyIdOf(publicBlob) != key.id) {
    return Refuse(context, kExitJobUnusable,
                  keyName + " cannot be used: damaged: its id is not the id of its key");
  }
  // The [signature] line must start a line of its own, so a last line
  // without its end gets one, and that end is signed too.
  const SignatureSplit split = FindSignatureSection(bytes);
  std::string text = split.offset == std::string::npos ? bytes : bytes.substr(0, split.offset);
  const std::string lineEnd = LineEndOf(text);
  if (!text.empty() && text.back() != '\n') text += lineEnd;
  JobSignature signature;
  signature.keyId = key.id;
  signature.signedUtc = context.io.TimeUtc();
  if (!context.crypto->Sign(privateBlob, text, &signature.signature, &why) ||
      context.crypto->Verify(publicBlob, text, signature.signature, &why) != VerifyResult::kGood) {
    return Refuse(context, kExitJobUnusable, "the job could not be signed: " + why);
  }
  text += FormatSignatureSection(signature, lineEnd);
  LineJob signedJob;
  if (!ParseLineJob(text, Utf8(path), Sha256Hex(text), &signedJob, &problem)) {
    return Refuse(context, kExitJobUnusable,
                  "the signed job would not read back: " + DescribeJobProblem(Utf8(path), problem));
  }
  // Written aside, flushed and then put in the job's place, so a job is
  // never left half written.
  const std::filesystem::path target = ToPath(path);
  std::filesystem::path aside = target;
  aside += ".signing";
  if (!WriteFileDurably(aside, target, text, &why)) {
    return Refuse(context, kExitCannotCreate, Utf8(path) + " cannot be written (" + why + ")");
  }
  context.io.Err("The job " + job.name + " is signed by key " + key.id +
                 (job.validUntil ? ", valid until " + *job.validUntil : std::string()) + ".\n");
  return kExitOk;
}
