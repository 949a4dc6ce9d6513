// Base64 (RFC 4648, with padding, no line breaks): how key files and a job's
// signature carry bytes as text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

std::string EncodeBase64(std::string_view bytes);
// nullopt for anything but canonical base64: a character outside the
// alphabet, a length not a multiple of 4, misplaced padding or padding bits
// that are not zero, so one text decodes to one value only.
std::optional<std::string> DecodeBase64(std::string_view text);
