// The catalogue of operator messages and the result-code table.
#include "messages/message_catalogue.h"

#include <iterator>

#include "messages/app_version.h"
#include "messages/operator_window.h"

namespace {

enum CaptionKind { kProductName = 0, kError = 1 };

struct Entry {
  int code;
  const char16_t* text;
  CaptionKind caption;
  unsigned style;
};

// Codes 13 and 27 break their two sentences with LF then CR, in that order,
// as the probe tool has always shown them.
constexpr Entry kCatalogue[] = {
    {0, u"May I update Firmware Ver. ", kProductName, kStyleOkCancel},
    {1, u"Did the LED display become like a red frame?", kProductName, kStyleYesNo},
    {2, u"Please push Reset SW of Velkoro.", kProductName, kStyleOk},
    {3, u"Updating Firmware of Velkoro succeeded.", kProductName, kStyleOk},
    {4, u"May I write Serial No. of Velkoro?", kProductName, kStyleOkCancel},
    {5, u"Writing Serial No. of Velkoro succeeded.", kProductName, kStyleOk},
    {6, u"It failed in the connection with USB.", kError, kStyleExclamation},
    {7, u"Two or more Velkoro is connected.", kError, kStyleExclamation},
    {8, u"It failed in cutting with USB.", kError, kStyleExclamation},
    {9, u"The USB data transmission failed.", kError, kStyleExclamation},
    {10, u"The USB data reception failed.", kError, kStyleExclamation},
    {11, u"It failed in reading the version.", kError, kStyleExclamation},
    {12, u"It failed in reading the Serial No..", kError, kStyleExclamation},
    {13,
     u"The firmware version of Velkoro is 2.2 or less.\n\r"
     u"Please update the firmware version to 2.2 or more.",
     kError, kStyleExclamation},
    {14, u"There is no character of the Serial No. in ASCII(0x0020-0x007E).", kError,
     kStyleExclamation},
    {15, u"The Serial No. exceeds 32 characters.", kError, kStyleExclamation},
    {16, u"It failed in writing the Serial No..", kError, kStyleExclamation},
    {17, u"It failed in the verify of Serial No..", kError, kStyleExclamation},
    {18, u"There is no specified file.", kError, kStyleExclamation},
    {19, u"The final address of the updated firmware exceeds 640Kbyte from the offset.", kError,
     kStyleExclamation},
    {20, u"The content of the file is not S record format.", kError, kStyleExclamation},
    {21, u"It failed in erase of the flash memory.", kError, kStyleExclamation},
    {22, u"It failed in the data transfer to the flash memory.", kError, kStyleExclamation},
    {23, u"It failed in the data reading from the flash memory.", kError, kStyleExclamation},
    {24, u"It failed in verify with the flash memory.", kError, kStyleExclamation},
    {25, u"The update execution failed.", kError, kStyleExclamation},
    {26, u"Updating Firmware of Velkoro failed.", kError, kStyleExclamation},
    {27,
     u"The firmware version of Velkoro is 1.0 or less.\n\r"
     u"Please update the firmware version to 1.1.",
     kError, kStyleExclamation},
};

// Message code of result codes 1 to 22, by result code. The two tables are
// ordered differently (7 -> 15, 8 -> 13, 9 -> 14), so this is no formula.
constexpr int kMessageForResult[] = {
    -1,  // 0 is success, not a failure
    6,  7, 9, 10, 8, 11, 15, 13, 14, 12, 17, 16, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27,
};

const Entry* Find(int code) {
  for (const Entry& entry : kCatalogue) {
    if (entry.code == code) return &entry;
  }
  return nullptr;
}

}  // namespace

std::u16string GetMessageText(int code) {
  const Entry* entry = Find(code);
  return entry ? std::u16string(entry->text) : std::u16string();
}

std::u16string GetMessageCaption(int code) {
  const Entry* entry = Find(code);
  if (!entry) return {};
  return entry->caption == kError ? std::u16string(u"ERROR") : FormatAppVersionText(1);
}

unsigned GetMessageStyle(int code) {
  const Entry* entry = Find(code);
  return entry ? entry->style : 0;
}

int MessageCodeForResult(int result) {
  if (result < 1 || result >= static_cast<int>(std::size(kMessageForResult))) return -1;
  return kMessageForResult[result];
}

MessageChoice ChooseMessage(int code, int isResult) {
  if (isResult) {
    code = MessageCodeForResult(code);
    if (code < 0) return {};
  }
  return {GetMessageText(code), GetMessageCaption(code), GetMessageStyle(code)};
}

int ShowMessage(OperatorWindow& owner, int code, int isResult) {
  MessageChoice choice = ChooseMessage(code, isResult);
  owner.NoteResult(code, isResult != 0);
  return owner.MessageBox(choice.text, choice.caption, choice.style);
}
