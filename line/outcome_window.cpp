// A box with a result code is a failure; a box with OK and Cancel is a
// question; any other box with a catalogue code is a message. A box with no
// code is the procedures' own report of a file they could not open.
#include "line/outcome_window.h"

#include "common/result_codes.h"
#include "messages/message_catalogue.h"

void OutcomeWindow::NoteMessage(int code, CodeKind kind) {
  noted_ = code;
  notedIsResult_ = kind == CodeKind::kResult;
  inner_.NoteMessage(code, kind);
}

int OutcomeWindow::MessageBox(const std::u16string& text, const std::u16string& caption,
                              unsigned style) {
  const std::optional<int> noted = noted_;
  const bool isResult = notedIsResult_;
  noted_.reset();
  const int answer = inner_.MessageBox(text, caption, style);
  if ((style & 0x0F) == kStyleOkCancel) {
    if (answer == kAnswerOk) {
      agreed_ = true;
    } else {
      declined_ = true;
    }
    return answer;
  }
  if (!noted || isResult) {
    if (!failure_) failure_ = noted.value_or(kResultNoFile);
  } else {
    lastMessage_ = *noted;
  }
  return answer;
}

int OutcomeWindow::ShowConfirmDialog() {
  if (skipLed_) {
    led_ = "skipped";
    return kAnswerOk;
  }
  const int answer = inner_.ShowConfirmDialog();
  led_ = answer == kAnswerOk ? "yes" : "no";
  return answer;
}

ProbeChoice OutcomeWindow::ChosenProbe() {
  ProbeChoice choice = inner_.ChosenProbe();
  if (choice.opened == nullptr) choice.opened = &ownOpened_;
  openedAt_ = choice.opened;
  chosen_ = choice.index;
  return choice;
}

std::optional<int> OutcomeWindow::probe() const {
  if (opened() != kAnyProbeIndex) return opened();
  if (chosen_ != kAnyProbeIndex) return chosen_;
  return std::nullopt;
}

void OutcomeWindow::Clear() {
  noted_.reset();
  failure_.reset();
  lastMessage_.reset();
  led_.reset();
  declined_ = false;
  agreed_ = false;
}
