// SHA-256 of bytes, as 64 lower-case hexadecimal digits. The Windows
// programs hash through the system's CNG (bcrypt); the native tests link a
// portable implementation of their own.
#pragma once

#include <string>
#include <string_view>

// Empty when the system's hash could not be had.
std::string Sha256Hex(std::string_view bytes);
