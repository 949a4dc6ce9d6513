// The window title and the product name, read from the program's own
// version block (Windows only).
#pragma once

#include <string>

// Form 0: "<product name> Ver. <major>.<minor>.<build>.<revision>" from the
// fixed file version; form 1: the product name alone. A successful read is
// also handed to SetAppVersion, so that the captions use the same name. When
// the file has no usable block the values SetAppVersion holds are used.
std::u16string GetAppVersionText(int form);
