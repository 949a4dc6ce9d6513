// The window a job run hands its procedures: every call goes on to the
// front-end's own window, and on the way the run learns what the operator
// was shown (the first failure, a question declined, the last message), so
// every front-end's record of a step is made by one rule. The LED question
// and the wait after the reset are the job's: a job with led = skip takes
// the display as confirmed without asking.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "messages/operator_window.h"

class OutcomeWindow : public OperatorWindow {
 public:
  // afterReset: the wait after the reset instruction (0 lets the success be
  // said); skipLed: the LED display is taken as confirmed.
  OutcomeWindow(OperatorWindow& inner, bool skipLed, std::function<int()> afterReset)
      : inner_(inner), skipLed_(skipLed), afterReset_(std::move(afterReset)) {}

  void PullMembers() override { inner_.PullMembers(); }
  void PushMembers() override { inner_.PushMembers(); }
  std::u16string& FileName() override { return inner_.FileName(); }
  std::u16string& SerialNo() override { return inner_.SerialNo(); }
  void SetControlState(ControlState mode) override { inner_.SetControlState(mode); }
  bool IsCountUpChecked() override { return inner_.IsCountUpChecked(); }
  void NoteMessage(int code, CodeKind kind) override;
  int MessageBox(const std::u16string& text, const std::u16string& caption,
                 unsigned style) override;
  int ShowConfirmDialog() override;
  int AfterResetInstruction() override { return afterReset_ ? afterReset_() : 0; }
  void StartTimer0(unsigned periodMs) override { inner_.StartTimer0(periodMs); }
  void StopTimer0() override { inner_.StopTimer0(); }
  void SetProgressRange(int lower, int upper) override { inner_.SetProgressRange(lower, upper); }
  void SetProgressPos(int position) override { inner_.SetProgressPos(position); }
  // The front-end's choice, noting the device index the procedures open.
  ProbeChoice ChosenProbe() override;

  // The first failure shown (a result code), if any.
  const std::optional<int>& failure() const { return failure_; }
  // A question (the update's, the write's, the LED display's) answered No.
  bool declined() const { return declined_; }
  bool agreed() const { return agreed_; }
  // The last message shown that is not a failure.
  const std::optional<int>& lastMessage() const { return lastMessage_; }
  // yes, no or skipped once the LED display was asked about.
  const std::optional<std::string>& led() const { return led_; }
  // The device index a procedure opened last; kAnyProbeIndex before.
  int opened() const { return openedAt_ != nullptr ? *openedAt_ : kAnyProbeIndex; }
  // The probe a record names: the index opened, else the one chosen, if any.
  std::optional<int> probe() const;
  // Forgets what was shown, for the next step.
  void Clear();

 private:
  OperatorWindow& inner_;
  bool skipLed_;
  std::function<int()> afterReset_;
  std::optional<int> noted_;
  bool notedIsResult_ = false;
  std::optional<int> failure_;
  std::optional<int> lastMessage_;
  std::optional<std::string> led_;
  bool declined_ = false;
  bool agreed_ = false;
  int ownOpened_ = kAnyProbeIndex;
  int* openedAt_ = nullptr;
  int chosen_ = kAnyProbeIndex;
};
