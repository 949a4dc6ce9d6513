// The next serial number in Count Up Mode: the decimal digits at the end of
// the text advance by one, keeping their width.
#pragma once

#include <string>

// Returns the text unchanged when it does not end in a digit, or when every
// digit of its trailing run is 9: the run never widens, wraps or carries into
// the text in front of it.
std::u16string CountUpSerialNo(std::u16string serialNo);
// The same for a serial number's ASCII text.
std::string CountUpSerialNo(std::string serialNo);
