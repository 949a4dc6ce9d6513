// Key files are read strictly: each key once, in any order, nothing else,
// so a file that reads as a key means one key only.
#include "line/key_text.h"

#include <array>
#include <cstdint>

#include "common/sha256.h"
#include "line/base64.h"
#include "line/job_file.h"

namespace {

constexpr char kPublicHead[] = "velkoro public key";
constexpr char kPrivateHead[] = "velkoro private key";
constexpr char kVersion[] = "1";
constexpr size_t kIdDigits = 16;
constexpr size_t kMostKeyFileBytes = 16 * 1024;
// CNG's RSA key blob: six 32-bit little-endian fields, then the numbers.
constexpr size_t kBlobHeaderBytes = 24;
constexpr uint32_t kPublicMagic = 0x31415352;       // "RSA1"
constexpr uint32_t kFullPrivateMagic = 0x33415352;  // "RSA3"
constexpr uint32_t kKeyBits = 3072;

uint32_t Field(std::string_view blob, size_t index) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) {
    value |= static_cast<uint32_t>(static_cast<unsigned char>(blob[index * 4 + i])) << (8 * i);
  }
  return value;
}

// The blob's header says what the key is; its numbers are CNG's to judge.
bool CheckBlob(std::string_view blob, uint32_t magic, std::string* why) {
  if (blob.size() < kBlobHeaderBytes || Field(blob, 0) != magic) {
    *why = magic == kPublicMagic ? "its rsa_public is not an RSA public key"
                                 : "its rsa_private is not an RSA private key";
    return false;
  }
  const uint64_t numbers = uint64_t{Field(blob, 2)} + Field(blob, 3);
  if (Field(blob, 1) != kKeyBits || Field(blob, 3) != kKeyBits / 8 ||
      (magic == kPublicMagic ? blob.size() != kBlobHeaderBytes + numbers
                             : blob.size() < kBlobHeaderBytes + numbers)) {
    *why = "its key is not an RSA key of 3072 bits";
    return false;
  }
  return true;
}

bool IsLowerHex(std::string_view text) {
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace

std::string KeyIdOf(std::string_view publicBlob) {
  return Sha256Hex(publicBlob).substr(0, kIdDigits);
}

bool IsKeyId(std::string_view text) {
  return text.size() == kIdDigits && IsLowerHex(text);
}

bool LooksLikePrivateKey(std::string_view bytes) {
  return bytes.substr(0, sizeof kPrivateHead - 1) == kPrivateHead;
}

bool ReadKeyText(std::string_view bytes, KeyText* key, std::string* why) {
  *key = KeyText{};
  if (bytes.size() > kMostKeyFileBytes) return *why = "not a key file: it is too large", false;
  size_t end = bytes.find('\n');
  const std::string_view head = TrimBlanks(bytes.substr(0, end));
  bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
  const bool isPublic = head.substr(0, sizeof kPublicHead - 1) == kPublicHead;
  if (!isPublic && !LooksLikePrivateKey(head)) {
    *why =
        "not a key file of this program (its first line is not \"velkoro public key 1\" or "
        "\"velkoro private key 1\")";
    return false;
  }
  key->kind = isPublic ? KeyKind::kPublic : KeyKind::kPrivate;
  const std::string_view version =
      TrimBlanks(head.substr(isPublic ? sizeof kPublicHead - 1 : sizeof kPrivateHead - 1));
  if (version != kVersion) {
    *why = "a key file of format version \"" + std::string(version) +
           "\", which this program does not read (it reads version 1)";
    return false;
  }
  // id, then the blob's key, then (private keys) the protection.
  const std::array<const char*, 3> names = {"id", isPublic ? "rsa_public" : "rsa_private",
                                            "protection"};
  const size_t wanted = isPublic ? 2 : 3;
  std::array<std::string, 3> values;
  std::array<bool, 3> seen{};
  while (!bytes.empty()) {
    end = bytes.find('\n');
    const std::string_view line = TrimBlanks(bytes.substr(0, end));
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    if (line.empty()) continue;
    const size_t equals = line.find('=');
    const std::string_view name = TrimBlanks(line.substr(0, equals));
    size_t index = wanted;
    for (size_t i = 0; i < wanted && equals != std::string_view::npos; ++i) {
      if (name == names[i]) index = i;
    }
    if (index == wanted) {
      *why = "damaged: \"" + std::string(name.substr(0, 40)) + "\" is not a line of a key file";
      return false;
    }
    if (seen[index]) return *why = "damaged: " + std::string(name) + " is given twice", false;
    seen[index] = true;
    values[index] = std::string(TrimBlanks(line.substr(equals + 1)));
  }
  for (size_t i = 0; i < wanted; ++i) {
    if (!seen[i]) return *why = std::string("damaged: its ") + names[i] + " is missing", false;
  }
  key->id = values[0];
  if (!IsKeyId(key->id)) {
    return *why = "damaged: its id is not 16 hexadecimal digits", false;
  }
  const std::optional<std::string> blob = DecodeBase64(values[1]);
  if (!blob) return *why = std::string("damaged: its ") + names[1] + " is not base64", false;
  key->blob = *blob;
  if (isPublic) {
    if (!CheckBlob(key->blob, kPublicMagic, why)) return false;
    if (KeyIdOf(key->blob) != key->id) {
      return *why = "damaged: its id is not the id of its key (" + KeyIdOf(key->blob) + ")", false;
    }
    return true;
  }
  if (values[2] != "user" && values[2] != "none") {
    return *why = "damaged: its protection is not user or none", false;
  }
  key->protectedForUser = values[2] == "user";
  return key->protectedForUser || CheckBlob(key->blob, kFullPrivateMagic, why);
}

std::string FormatKeyText(const KeyText& key) {
  if (key.kind == KeyKind::kPublic) {
    return std::string(kPublicHead) + " " + kVersion + "\r\nid = " + key.id +
           "\r\nrsa_public = " + EncodeBase64(key.blob) + "\r\n";
  }
  return std::string(kPrivateHead) + " " + kVersion + "\r\nid = " + key.id +
         "\r\nprotection = " + (key.protectedForUser ? "user" : "none") +
         "\r\nrsa_private = " + EncodeBase64(key.blob) + "\r\n";
}
