// The catalogue of operator messages and the result-code table.
#include "messages/message_catalogue.h"

#include "common/result_codes.h"
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
    {kMsgAskUpdate, u"May I update Firmware Ver. ", kProductName, kStyleOkCancel},
    {kMsgLedQuestion, u"Did the LED display become like a red frame?", kProductName, kStyleYesNo},
    {kMsgPushResetSwitch, u"Please push Reset SW of Velkoro.", kProductName, kStyleOk},
    {kMsgUpdateSucceeded, u"Updating Firmware of Velkoro succeeded.", kProductName, kStyleOk},
    {kMsgAskWriteSerial, u"May I write Serial No. of Velkoro?", kProductName, kStyleOkCancel},
    {kMsgWriteSucceeded, u"Writing Serial No. of Velkoro succeeded.", kProductName, kStyleOk},
    {kMsgConnectFailed, u"It failed in the connection with USB.", kError, kStyleExclamation},
    {kMsgSeveralProbes, u"Two or more Velkoro is connected.", kError, kStyleExclamation},
    {kMsgCloseFailed, u"It failed in cutting with USB.", kError, kStyleExclamation},
    {kMsgSendFailed, u"The USB data transmission failed.", kError, kStyleExclamation},
    {kMsgReceiveFailed, u"The USB data reception failed.", kError, kStyleExclamation},
    {kMsgVersionReadFailed, u"It failed in reading the version.", kError, kStyleExclamation},
    {kMsgSerialReadFailed, u"It failed in reading the Serial No..", kError, kStyleExclamation},
    {kMsgVersionTooOldForSerial,
     u"The firmware version of Velkoro is 2.2 or less.\n\r"
     u"Please update the firmware version to 2.2 or more.",
     kError, kStyleExclamation},
    {kMsgSerialNotAscii, u"There is no character of the Serial No. in ASCII(0x0020-0x007E).", kError,
     kStyleExclamation},
    {kMsgSerialTooLong, u"The Serial No. exceeds 32 characters.", kError, kStyleExclamation},
    {kMsgSerialWriteFailed, u"It failed in writing the Serial No..", kError, kStyleExclamation},
    {kMsgSerialVerifyFailed, u"It failed in the verify of Serial No..", kError, kStyleExclamation},
    {kMsgNoFile, u"There is no specified file.", kError, kStyleExclamation},
    {kMsgSpanTooLarge, u"The final address of the updated firmware exceeds 640Kbyte from the offset.", kError,
     kStyleExclamation},
    {kMsgNotSRecord, u"The content of the file is not S record format.", kError, kStyleExclamation},
    {kMsgEraseFailed, u"It failed in erase of the flash memory.", kError, kStyleExclamation},
    {kMsgFlashWriteFailed, u"It failed in the data transfer to the flash memory.", kError, kStyleExclamation},
    {kMsgFlashReadFailed, u"It failed in the data reading from the flash memory.", kError, kStyleExclamation},
    {kMsgFlashVerifyFailed, u"It failed in verify with the flash memory.", kError, kStyleExclamation},
    {kMsgExecuteFailed, u"The update execution failed.", kError, kStyleExclamation},
    {kMsgUpdateFailed, u"Updating Firmware of Velkoro failed.", kError, kStyleExclamation},
    {kMsgVersionTooOldForUpdate,
     u"The firmware version of Velkoro is 1.0 or less.\n\r"
     u"Please update the firmware version to 1.1.",
     kError, kStyleExclamation},
};

struct ResultMessage {
  int result;
  int message;
};

// The message of each result code 1 to 22. The two tables are ordered
// differently (7 -> 15, 8 -> 13, 9 -> 14), so this is no formula.
constexpr ResultMessage kMessageForResult[] = {
    {kResultNoProbe, kMsgConnectFailed},
    {kResultSeveralProbes, kMsgSeveralProbes},
    {kResultNotSent, kMsgSendFailed},
    {kResultNotReceived, kMsgReceiveFailed},
    {kResultCloseFailed, kMsgCloseFailed},
    {kResultVersionReply, kMsgVersionReadFailed},
    {kResultSerialTooLong, kMsgSerialTooLong},
    {kResultVersionTooOldForSerial, kMsgVersionTooOldForSerial},
    {kResultSerialNotAscii, kMsgSerialNotAscii},
    {kResultSerialReply, kMsgSerialReadFailed},
    {kResultSerialVerify, kMsgSerialVerifyFailed},
    {kResultSerialWrite, kMsgSerialWriteFailed},
    {kResultNoFile, kMsgNoFile},
    {kResultSpanTooLarge, kMsgSpanTooLarge},
    {kResultNotSRecord, kMsgNotSRecord},
    {kResultErase, kMsgEraseFailed},
    {kResultFlashWrite, kMsgFlashWriteFailed},
    {kResultFlashRead, kMsgFlashReadFailed},
    {kResultFlashVerify, kMsgFlashVerifyFailed},
    {kResultExecute, kMsgExecuteFailed},
    {kResultLedRejected, kMsgUpdateFailed},
    {kResultVersionTooOldForUpdate, kMsgVersionTooOldForUpdate},
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
  return entry->caption == kError ? std::u16string(u"ERROR") : FormatAppVersionText(VersionTextForm::kNameOnly);
}

unsigned GetMessageStyle(int code) {
  const Entry* entry = Find(code);
  return entry ? entry->style : 0;
}

int MessageCodeForResult(int result) {
  for (const ResultMessage& entry : kMessageForResult) {
    if (entry.result == result) return entry.message;
  }
  return -1;
}

MessageChoice ChooseMessage(int code, CodeKind kind) {
  if (kind == CodeKind::kResult) {
    code = MessageCodeForResult(code);
    if (code < 0) return {};
  }
  return {GetMessageText(code), GetMessageCaption(code), GetMessageStyle(code)};
}

int ShowMessage(OperatorWindow& owner, int code, CodeKind kind) {
  MessageChoice choice = ChooseMessage(code, kind);
  owner.NoteMessage(code, kind);
  return owner.MessageBox(choice.text, choice.caption, choice.style);
}
