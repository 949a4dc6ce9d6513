// The product name and version that the title and the captions show.
//
// The Windows program reads them from its own version block at start-up and
// fills them in here (SetAppVersion); the portable code only reads them. Until
// then they hold the values the program's version block carries.
#pragma once

#include <string>

struct AppVersion {
  std::u16string productName;
  int major = 0, minor = 0, build = 0, revision = 0;
};

void SetAppVersion(const AppVersion& version);
enum class VersionTextForm {
  kNameAndVersion,  // "<name> Ver. <major>.<minor>.<build>.<revision>", the title
  kNameOnly,        // the captions and the confirmation dialog's title
};
std::u16string FormatAppVersionText(VersionTextForm form);
