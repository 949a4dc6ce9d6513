// RSA-3072 with PSS over SHA-256 (salt 32) through CNG, and the private
// key's protection through Windows' data protection for the current user:
// both system libraries, so the programs still ship alone. Every handle and
// every blob the system allocates is released on every path.
#include "line/system_trust.h"

// windows.h must come first.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>
// clang-format on

#include <cstdio>
#include <vector>

#include "common/sha256.h"

namespace {

constexpr ULONG kKeyBits = 3072;
constexpr ULONG kSaltBytes = 32;
constexpr wchar_t kProtectedDescription[] = L"Velkoro signing key";

std::string Status(const char* call, NTSTATUS status) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed with status 0x%08lX", call,
                static_cast<unsigned long>(status));
  return text;
}

std::string LastError(const char* call, DWORD error) {
  char text[96];
  std::snprintf(text, sizeof text, "%s failed with error %lu", call,
                static_cast<unsigned long>(error));
  return text;
}

class Algorithm {
 public:
  ~Algorithm() {
    if (handle_ != nullptr) BCryptCloseAlgorithmProvider(handle_, 0);
  }
  bool Open(std::string* why) {
    const NTSTATUS status = BCryptOpenAlgorithmProvider(&handle_, BCRYPT_RSA_ALGORITHM, nullptr, 0);
    if (BCRYPT_SUCCESS(status)) return true;
    handle_ = nullptr;
    *why = Status("BCryptOpenAlgorithmProvider", status);
    return false;
  }
  BCRYPT_ALG_HANDLE get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class Key {
 public:
  ~Key() {
    if (handle_ != nullptr) BCryptDestroyKey(handle_);
  }
  BCRYPT_KEY_HANDLE* out() { return &handle_; }
  BCRYPT_KEY_HANDLE get() const { return handle_; }

 private:
  BCRYPT_KEY_HANDLE handle_ = nullptr;
};

PUCHAR Bytes(std::string_view bytes) {
  return reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data()));
}

bool Import(const Algorithm& algorithm, LPCWSTR type, std::string_view blob, Key* key,
            std::string* why) {
  const NTSTATUS status = BCryptImportKeyPair(algorithm.get(), nullptr, type, key->out(),
                                              Bytes(blob), static_cast<ULONG>(blob.size()), 0);
  if (BCRYPT_SUCCESS(status)) return true;
  *key->out() = nullptr;
  *why = Status("BCryptImportKeyPair", status);
  return false;
}

bool Export(const Key& key, LPCWSTR type, std::string* blob, std::string* why) {
  ULONG size = 0;
  NTSTATUS status = BCryptExportKey(key.get(), nullptr, type, nullptr, 0, &size, 0);
  if (BCRYPT_SUCCESS(status)) {
    blob->assign(size, '\0');
    status = BCryptExportKey(key.get(), nullptr, type, Bytes(*blob), size, &size, 0);
  }
  if (!BCRYPT_SUCCESS(status)) return *why = Status("BCryptExportKey", status), false;
  blob->resize(size);
  return true;
}

// The SHA-256 digest of bytes, as the system's own hash gives it.
bool Digest(std::string_view bytes, std::string* digest, std::string* why) {
  const std::string hex = Sha256Hex(bytes);
  if (hex.size() != 64) return *why = "the system's SHA-256 could not be had", false;
  digest->clear();
  for (size_t i = 0; i < hex.size(); i += 2) {
    digest->push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return true;
}

class CngKeyCrypto : public KeyCrypto {
 public:
  VerifyResult Verify(std::string_view publicBlob, std::string_view bytes,
                      std::string_view signature, std::string* why) override {
    Algorithm algorithm;
    Key key;
    std::string digest;
    if (!algorithm.Open(why) || !Import(algorithm, BCRYPT_RSAPUBLIC_BLOB, publicBlob, &key, why) ||
        !Digest(bytes, &digest, why)) {
      return VerifyResult::kBadKey;
    }
    BCRYPT_PSS_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM, kSaltBytes};
    const NTSTATUS status = BCryptVerifySignature(
        key.get(), &padding, Bytes(digest), static_cast<ULONG>(digest.size()), Bytes(signature),
        static_cast<ULONG>(signature.size()), BCRYPT_PAD_PSS);
    if (BCRYPT_SUCCESS(status)) return VerifyResult::kGood;
    *why = Status("BCryptVerifySignature", status);
    return VerifyResult::kBadSignature;
  }

  bool NewKeyPair(std::string* privateBlob, std::string* publicBlob, std::string* why) override {
    Algorithm algorithm;
    Key key;
    if (!algorithm.Open(why)) return false;
    NTSTATUS status = BCryptGenerateKeyPair(algorithm.get(), key.out(), kKeyBits, 0);
    if (!BCRYPT_SUCCESS(status)) {
      *key.out() = nullptr;
      return *why = Status("BCryptGenerateKeyPair", status), false;
    }
    status = BCryptFinalizeKeyPair(key.get(), 0);
    if (!BCRYPT_SUCCESS(status)) return *why = Status("BCryptFinalizeKeyPair", status), false;
    return Export(key, BCRYPT_RSAFULLPRIVATE_BLOB, privateBlob, why) &&
           Export(key, BCRYPT_RSAPUBLIC_BLOB, publicBlob, why);
  }

  bool PublicBlobOf(std::string_view privateBlob, std::string* publicBlob,
                    std::string* why) override {
    Algorithm algorithm;
    Key key;
    return algorithm.Open(why) &&
           Import(algorithm, BCRYPT_RSAFULLPRIVATE_BLOB, privateBlob, &key, why) &&
           Export(key, BCRYPT_RSAPUBLIC_BLOB, publicBlob, why);
  }

  bool Sign(std::string_view privateBlob, std::string_view bytes, std::string* signature,
            std::string* why) override {
    Algorithm algorithm;
    Key key;
    std::string digest;
    if (!algorithm.Open(why) ||
        !Import(algorithm, BCRYPT_RSAFULLPRIVATE_BLOB, privateBlob, &key, why) ||
        !Digest(bytes, &digest, why)) {
      return false;
    }
    BCRYPT_PSS_PADDING_INFO padding{BCRYPT_SHA256_ALGORITHM, kSaltBytes};
    ULONG size = 0;
    NTSTATUS status =
        BCryptSignHash(key.get(), &padding, Bytes(digest), static_cast<ULONG>(digest.size()),
                       nullptr, 0, &size, BCRYPT_PAD_PSS);
    if (BCRYPT_SUCCESS(status)) {
      signature->assign(size, '\0');
      status = BCryptSignHash(key.get(), &padding, Bytes(digest), static_cast<ULONG>(digest.size()),
                              Bytes(*signature), size, &size, BCRYPT_PAD_PSS);
    }
    if (!BCRYPT_SUCCESS(status)) return *why = Status("BCryptSignHash", status), false;
    signature->resize(size);
    return true;
  }

  bool Protect(std::string_view bytes, std::string* out, std::string* why) override {
    DATA_BLOB in{static_cast<DWORD>(bytes.size()), Bytes(bytes)};
    DATA_BLOB result{};
    if (!CryptProtectData(&in, kProtectedDescription, nullptr, nullptr, nullptr,
                          CRYPTPROTECT_UI_FORBIDDEN, &result)) {
      return *why = LastError("CryptProtectData", GetLastError()), false;
    }
    out->assign(reinterpret_cast<const char*>(result.pbData), result.cbData);
    LocalFree(result.pbData);
    return true;
  }

  bool Unprotect(std::string_view bytes, std::string* out, std::string* why) override {
    DATA_BLOB in{static_cast<DWORD>(bytes.size()), Bytes(bytes)};
    DATA_BLOB result{};
    if (!CryptUnprotectData(&in, nullptr, nullptr, nullptr, nullptr, CRYPTPROTECT_UI_FORBIDDEN,
                            &result)) {
      const DWORD error = GetLastError();
      *why = error == ERROR_INVALID_DATA
                 ? "it is protected for another Windows user, or damaged (error 13)"
                 : LastError("CryptUnprotectData", error);
      return false;
    }
    out->assign(reinterpret_cast<const char*>(result.pbData), result.cbData);
    // The private key in the clear lives no longer than it must.
    SecureZeroMemory(result.pbData, result.cbData);
    LocalFree(result.pbData);
    return true;
  }
};

}  // namespace

KeyCrypto& SystemKeyCrypto() {
  static CngKeyCrypto crypto;
  return crypto;
}
