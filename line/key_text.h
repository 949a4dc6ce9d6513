// The two key files, as text a person can open and a program reads line by
// line. A public key (NAME.pub), the file a station trusts:
//
//   velkoro public key 1
//   id = 1a2b3c4d5e6f7081
//   rsa_public = BASE64 (CNG's RSA public key blob of a 3072-bit key)
//
// A private key (NAME.key), the file its owner signs with:
//
//   velkoro private key 1
//   id = 1a2b3c4d5e6f7081
//   protection = user | none
//   rsa_private = BASE64 (CNG's full private blob; with protection = user,
//                 that blob protected by Windows for the user who made it)
//
// The first line names the kind and the format's version; the id is the
// first 16 hexadecimal digits of the SHA-256 of the public key blob, so it
// is checked against the blob wherever the blob can be read.
#pragma once

#include <string>
#include <string_view>

enum class KeyKind { kPublic, kPrivate };

struct KeyText {
  KeyKind kind = KeyKind::kPublic;
  std::string id;                 // 16 lower-case hexadecimal digits
  bool protectedForUser = false;  // a private key's blob is protected
  std::string blob;               // the decoded blob, as the file holds it
};

// The key id of a public key blob.
std::string KeyIdOf(std::string_view publicBlob);
// Whether text is a key id: 16 lower-case hexadecimal digits.
bool IsKeyId(std::string_view text);

// false with *why (one line) for text that is not a key file of this
// program, of a version it does not read, or damaged.
bool ReadKeyText(std::string_view bytes, KeyText* key, std::string* why);
std::string FormatKeyText(const KeyText& key);

// Whether bytes begin as a private key file does (whatever the file's name).
bool LooksLikePrivateKey(std::string_view bytes);
