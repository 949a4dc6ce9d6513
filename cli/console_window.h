// The operator window of the console program: the procedures' questions go
// to the console (or are answered by --yes), their messages to standard
// error, their progress to the progress text, and the timer is a period the
// runner reads to pace the update's steps. It also keeps what the procedures
// reported, for the exit status.
#pragma once

#include <optional>
#include <string>

#include "cli/console_io.h"
#include "cli/progress_text.h"
#include "messages/operator_window.h"

class ConsoleWindow : public OperatorWindow {
 public:
  // answeredBy: why the write and update questions are answered OK without
  // asking ("--yes"; "" to answer without saying it), or nullptr to ask them.
  ConsoleWindow(ConsoleIo& io, ProgressText& progress, const char* answeredBy, bool countUp)
      : io_(io), progress_(progress), answeredBy_(answeredBy), countUp_(countUp) {}

  void PullMembers() override {}
  void PushMembers() override {}
  std::u16string& FileName() override { return fileName_; }
  std::u16string& SerialNo() override { return serialNo_; }
  void SetControlState(ControlState) override {}
  bool IsCountUpChecked() override { return countUp_; }
  void NoteMessage(int code, CodeKind kind) override;
  int MessageBox(const std::u16string& text, const std::u16string& caption,
                 unsigned style) override;
  int ShowConfirmDialog() override;
  void StartTimer0(unsigned periodMs) override;
  void StopTimer0() override { timerRunning_ = false; }
  void SetProgressRange(int lower, int upper) override;
  void SetProgressPos(int position) override;
  ProbeChoice ChosenProbe() override { return ProbeChoice{chosen_, &opened_}; }

  // The probe the procedures open: one device index, or kAnyProbeIndex.
  void ChooseProbe(int index) { chosen_ = index; }
  // The device index a procedure opened last; kAnyProbeIndex before.
  int opened() const { return opened_; }

  // A yes/no question on the console; nullopt when no answer came (end of
  // input). --yes answers it only when byYes is set: it answers the write
  // and update questions, never the LED question.
  std::optional<bool> Ask(const std::string& question, bool byYes);
  // The write or update question was answered OK.
  bool agreed() const { return agreed_; }

  // The first failure shown: a result code 1 to 22, or an exit status of the
  // console's own checks (26).
  std::optional<int> failure() const { return failure_; }
  // The text of that failure on one line.
  const std::string& failureText() const { return failureText_; }
  bool declined() const { return declined_; }
  // Message codes 0 to 5 shown (successes and instructions), last first.
  std::optional<int> lastMessage() const { return lastMessage_; }
  // The LED question's answer: yes, no, or nothing when it was not asked.
  std::optional<std::string> led() const { return led_; }
  bool timerRunning() const { return timerRunning_; }
  unsigned timerPeriod() const { return timerPeriod_; }
  // The phase the progress shows ("erase", "program" ...), set by the runner.
  void SetPhase(const std::string& phase) { phase_ = phase; }
  // Reports a failure that was found outside the procedures' own messages.
  void ReportFailure(int code, const std::u16string& text);

 private:
  ConsoleIo& io_;
  ProgressText& progress_;
  const char* answeredBy_;
  bool countUp_;
  bool agreed_ = false;
  std::u16string fileName_;
  std::u16string serialNo_;
  std::optional<int> notedCode_;
  bool notedIsResult_ = false;
  std::optional<int> failure_;
  std::string failureText_;
  bool declined_ = false;
  std::optional<int> lastMessage_;
  std::optional<std::string> led_;
  bool timerRunning_ = false;
  unsigned timerPeriod_ = 0;
  int range_ = 0;
  std::string phase_;
  int chosen_ = kAnyProbeIndex;
  int opened_ = kAnyProbeIndex;
};

// A catalogue text as the console shows it: its line break (LF CR) becomes
// one line end, so a second sentence stands on its own line.
std::string ConsoleText(const std::u16string& text);
