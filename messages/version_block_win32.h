// The window title and the product name, read from the program's own
// version block (Windows only).
#pragma once

#include <string>

#include "messages/app_version.h"

// The title form takes the version from the fixed file version. A successful
// read is also handed to SetAppVersion, so that the captions use the same
// name. When the file has no usable block the values SetAppVersion holds are
// used.
std::u16string GetAppVersionText(VersionTextForm form);
