// The operator's messages: 28 texts with their captions and box styles, the
// table from result codes to message codes, and ShowMessage's choice.
#pragma once

#include <string>

#include "messages/message_codes.h"

class OperatorWindow;

// MessageBoxW styles and answers the catalogue uses.
inline constexpr unsigned kStyleOk = 0x00;
inline constexpr unsigned kStyleOkCancel = 0x01;
inline constexpr unsigned kStyleYesNo = 0x04;
inline constexpr unsigned kStyleExclamation = 0x30;
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerCancel = 2;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;

// Empty for a code outside the catalogue.
std::u16string GetMessageText(int code);
// "ERROR" for 6 to 27, the product name for 0 to 5, empty otherwise.
std::u16string GetMessageCaption(int code);
// 0 for a code outside the catalogue.
unsigned GetMessageStyle(int code);

// The message code for a result code 1 to 22; -1 for any other value.
int MessageCodeForResult(int result);


struct MessageChoice {
  std::u16string text;
  std::u16string caption;
  unsigned style = 0;
};

// What ShowMessage puts in its box. Codes outside the tables give an empty
// box, style 0.
MessageChoice ChooseMessage(int code, CodeKind kind);

// Shows the chosen message in a modal box owned by the window and returns the
// operator's answer unchanged.
int ShowMessage(OperatorWindow& owner, int code, CodeKind kind);
