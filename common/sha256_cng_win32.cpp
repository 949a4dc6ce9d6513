// SHA-256 through CNG, a system library, so the programs still need no DLL
// beside them.
#include "common/sha256.h"

// windows.h must come first.
// clang-format off
#include <windows.h>
#include <bcrypt.h>
// clang-format on

#include <cstdint>

namespace {

constexpr ULONG kSha256Bytes = 32;
// BCryptHashData takes a ULONG length: larger inputs go in pieces.
constexpr size_t kMostBytesAtOnce = 1u << 30;

// The provider, opened once for the process and never closed: opening it is
// most of a short line's cost, and the record's chain hashes every line a
// report or audit reads. CNG lets any thread create hashes on one algorithm
// handle at once.
BCRYPT_ALG_HANDLE Sha256Provider() {
  static const BCRYPT_ALG_HANDLE provider = [] {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(
            BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
      return BCRYPT_ALG_HANDLE{nullptr};
    }
    return algorithm;
  }();
  return provider;
}

}  // namespace

std::string Sha256Hex(std::string_view bytes) {
  const BCRYPT_ALG_HANDLE algorithm = Sha256Provider();
  if (algorithm == nullptr) return "";
  BCRYPT_HASH_HANDLE hash = nullptr;
  UCHAR digest[kSha256Bytes] = {};
  bool done = BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
  for (size_t at = 0; done && at < bytes.size(); at += kMostBytesAtOnce) {
    const size_t piece = std::min(kMostBytesAtOnce, bytes.size() - at);
    done = BCRYPT_SUCCESS(
        BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data() + at)),
                       static_cast<ULONG>(piece), 0));
  }
  done = done && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, kSha256Bytes, 0));
  if (hash != nullptr) BCryptDestroyHash(hash);
  if (!done) return "";
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  for (UCHAR byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xF];
  }
  return text;
}
