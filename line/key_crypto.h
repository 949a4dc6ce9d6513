// What keys and signatures need from the system, behind one interface: the
// Windows programs use CNG (bcrypt) and the user's data protection
// (crypt32); the native tests use a fake, so the portable logic around them
// (key files, the [signature] section, the trust decision) is tested
// without either. Every key is RSA-3072 and every signature RSA-PSS over
// SHA-256 with a 32-byte salt; blobs are CNG's own key blob layouts.
#pragma once

#include <string>
#include <string_view>

enum class VerifyResult {
  kGood,
  kBadSignature,  // the bytes or the signature are not what the key signed
  kBadKey,        // the public key blob cannot be used
};

class SignatureVerifier {
 public:
  virtual ~SignatureVerifier() = default;
  // Whether signature is publicBlob's key's signature of bytes; *why says
  // what failed for kBadKey.
  virtual VerifyResult Verify(std::string_view publicBlob, std::string_view bytes,
                              std::string_view signature, std::string* why) = 0;
};

class KeyCrypto : public SignatureVerifier {
 public:
  // A new key pair: the full private blob and its public blob.
  virtual bool NewKeyPair(std::string* privateBlob, std::string* publicBlob, std::string* why) = 0;
  // The public blob of a private blob (the id of a private key is its
  // public half's).
  virtual bool PublicBlobOf(std::string_view privateBlob, std::string* publicBlob,
                            std::string* why) = 0;
  virtual bool Sign(std::string_view privateBlob, std::string_view bytes, std::string* signature,
                    std::string* why) = 0;
  // Protected so that only the Windows user who protected it can read it.
  virtual bool Protect(std::string_view bytes, std::string* out, std::string* why) = 0;
  virtual bool Unprotect(std::string_view bytes, std::string* out, std::string* why) = 0;
};

// An RSA-3072 signature's length in bytes.
inline constexpr size_t kSignatureBytes = 384;
