// The product name and version shown in the title and the captions.
#include "messages/app_version.h"

#include <string>

namespace {

// What the program's version block carries; the Windows program replaces it
// with what it reads from its own file at start-up.
AppVersion g_appVersion{u"Velkoro Firmware/Serial No. Writer", 1, 0, 0, 0};

std::u16string Decimal(int value) {
  std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

}  // namespace

void SetAppVersion(const AppVersion& version) {
  g_appVersion = version;
}

std::u16string FormatAppVersionText(VersionTextForm form) {
  if (form == VersionTextForm::kNameOnly) return g_appVersion.productName;
  return g_appVersion.productName + u" Ver. " + Decimal(g_appVersion.major) + u"." +
         Decimal(g_appVersion.minor) + u"." + Decimal(g_appVersion.build) + u"." +
         Decimal(g_appVersion.revision);
}
