// Stand-ins for the system's keys and signatures and for the trusted-keys
// folder, so the portable logic around them runs natively. A fake key's
// blobs have CNG's header (so key files read as they would) around numbers
// made from a seed; a fake signature is the SHA-256 of the public blob and
// the signed bytes, repeated to a signature's length: it fails for other
// bytes or another key, as a real one does.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/sha256.h"
#include "line/job_trust.h"
#include "line/key_crypto.h"
#include "line/key_text.h"

namespace fake_keys {

constexpr size_t kHeader = 24, kExponent = 3, kModulus = 384;

inline std::string Field(uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

inline std::string Blob(uint32_t magic, const std::string& numbers) {
  return Field(magic) + Field(3072) + Field(kExponent) + Field(kModulus) + Field(0) + Field(0) +
         numbers;
}

// The public blob of the fake key made from seed.
inline std::string PublicBlob(int seed) {
  std::string numbers = "\x01\x00\x01";
  numbers.resize(kExponent);
  while (numbers.size() < kExponent + kModulus) numbers += Sha256Hex(std::to_string(seed));
  numbers.resize(kExponent + kModulus);
  return Blob(0x31415352, numbers);
}

inline std::string PrivateBlob(int seed) {
  return Blob(0x33415352, PublicBlob(seed).substr(kHeader) + "private part");
}

inline std::string PublicKeyFile(int seed) {
  KeyText key;
  key.blob = PublicBlob(seed);
  key.id = KeyIdOf(key.blob);
  return FormatKeyText(key);
}

inline std::string IdOf(int seed) {
  return KeyIdOf(PublicBlob(seed));
}

class FakeKeyCrypto : public KeyCrypto {
 public:
  static std::string Signature(std::string_view publicBlob, std::string_view bytes) {
    std::string signature;
    const std::string digest = Sha256Hex(std::string(publicBlob) + std::string(bytes));
    while (signature.size() < kSignatureBytes) signature += digest;
    return signature.substr(0, kSignatureBytes);
  }
  VerifyResult Verify(std::string_view publicBlob, std::string_view bytes,
                      std::string_view signature, std::string* why) override {
    ++verified;
    if (publicBlob.substr(0, 4) != Field(0x31415352)) return *why = "fake", VerifyResult::kBadKey;
    return signature == Signature(publicBlob, bytes) ? VerifyResult::kGood
                                                     : VerifyResult::kBadSignature;
  }
  bool NewKeyPair(std::string* privateBlob, std::string* publicBlob, std::string*) override {
    *privateBlob = PrivateBlob(++made);
    *publicBlob = PublicBlob(made);
    return true;
  }
  bool PublicBlobOf(std::string_view privateBlob, std::string* publicBlob, std::string*) override {
    *publicBlob = Blob(0x31415352, std::string(privateBlob.substr(kHeader, kExponent + kModulus)));
    return true;
  }
  bool Sign(std::string_view privateBlob, std::string_view bytes, std::string* signature,
            std::string* why) override {
    std::string publicBlob;
    PublicBlobOf(privateBlob, &publicBlob, why);
    *signature = Signature(publicBlob, bytes);
    return true;
  }
  bool Protect(std::string_view bytes, std::string* out, std::string*) override {
    *out = kProtected + std::string(bytes);
    return true;
  }
  bool Unprotect(std::string_view bytes, std::string* out, std::string* why) override {
    if (bytes.substr(0, sizeof kProtected - 1) != kProtected) {
      return *why = "protected for another user", false;
    }
    *out = std::string(bytes.substr(sizeof kProtected - 1));
    return true;
  }

  int made = 0;
  int verified = 0;

 private:
  static constexpr char kProtected[] = "protected:";
};

// A trusted-keys folder in memory: a file whose bytes are nullopt cannot be
// read.
class MemoryKeyFolder : public KeyFolder {
 public:
  std::string Where() const override { return "trusted-keys"; }
  bool List(std::vector<std::string>* names, std::string* why) override {
    if (listError) return *why = *listError, false;
    names->clear();
    for (const auto& [name, bytes] : files) names->push_back(name);
    return true;
  }
  bool Read(const std::string& name, std::string* bytes, std::string* why) override {
    const auto found = files.find(name);
    if (found == files.end() || !found->second) return *why = "error 5", false;
    *bytes = *found->second;
    return true;
  }

  std::map<std::string, std::optional<std::string>> files;
  std::optional<std::string> listError;
};

}  // namespace fake_keys
