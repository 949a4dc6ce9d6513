// The rule for a serial number's text, written once for the window's WRITE
// and the console's station: at most 32 characters, each printable ASCII.
#pragma once

#include <string>

// 0 when the text may be written, otherwise the result code to report.
int CheckSerialText(const std::u16string& text);
