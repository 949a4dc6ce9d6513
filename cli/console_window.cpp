// Questions, messages and the timer of the console program. A box that comes
// with a result code is a failure; a box with OK and Cancel is a question;
// the others are successes and instructions, shown as their text alone.
#include "cli/console_window.h"

#include <cctype>

#include "common/result_codes.h"
#include "ledger/operation_record.h"
#include "messages/message_catalogue.h"

namespace {

constexpr int kLedQuestionCode = 1;

bool IsYes(std::string answer) {
  for (char& c : answer) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back())))
    answer.pop_back();
  return answer == "y" || answer == "yes";
}

}  // namespace

std::string ConsoleText(const std::u16string& text) {
  std::string out;
  for (char c : Utf8(text)) {
    if (c != '\r') out += c;
  }
  return out;
}

void ConsoleWindow::NoteMessage(int code, CodeKind kind) {
  notedCode_ = code;
  notedIsResult_ = kind == CodeKind::kResult;
}

std::optional<bool> ConsoleWindow::Ask(const std::string& question, bool byYes) {
  progress_.End();
  if (byYes && answeredBy_ != nullptr) {
    // Said once for a run: later probes go on without saying it again.
    if (*answeredBy_ != '\0') io_.Err(question + " yes (" + answeredBy_ + ")\n");
    return true;
  }
  io_.Err(question + " [y/N] ");
  const std::optional<std::string> line = io_.ReadLine();
  if (!line) {
    io_.Err("\n");
    return std::nullopt;
  }
  return IsYes(*line);
}

int ConsoleWindow::MessageBox(const std::u16string& text, const std::u16string& /*caption*/,
                              unsigned style) {
  const std::optional<int> noted = notedCode_;
  const bool isResult = notedIsResult_;
  notedCode_.reset();
  if ((style & 0x0F) == kStyleOkCancel) {
    if (Ask(ConsoleText(text), true).value_or(false)) {
      agreed_ = true;
      return kAnswerOk;
    }
    declined_ = true;
    return kAnswerCancel;
  }
  progress_.End();
  if (!noted || isResult) {
    // A box with no catalogue code is the window's own report of a file it
    // could not open: a failure of the file.
    ReportFailure(noted.value_or(kResultNoFile), text);
    return kAnswerOk;
  }
  lastMessage_ = *noted;
  io_.Err(ConsoleText(text) + "\n");
  return kAnswerOk;
}

void ConsoleWindow::ReportFailure(int code, const std::u16string& text) {
  progress_.End();
  if (!failure_) {
    failure_ = code;
    failureText_ = OneLine(text);
  }
  io_.Err("ERROR: " + ConsoleText(text) + "\n");
}

int ConsoleWindow::ShowConfirmDialog() {
  const std::optional<bool> yes = Ask(ConsoleText(GetMessageText(kLedQuestionCode)), false);
  led_ = yes.value_or(false) ? "yes" : "no";
  return yes.value_or(false) ? kAnswerOk : kAnswerCancel;
}

void ConsoleWindow::StartTimer0(unsigned periodMs) {
  timerRunning_ = true;
  timerPeriod_ = periodMs;
}

void ConsoleWindow::SetProgressRange(int /*lower*/, int upper) {
  range_ = upper;
}

void ConsoleWindow::SetProgressPos(int position) {
  progress_.Show(phase_, position, range_);
}
