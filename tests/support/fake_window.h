// A recording stand-in for the operator window: the procedures drive it as
// they drive the real one, and tests read back what the operator would have
// seen and script the answers the operator gives.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "messages/operator_window.h"

class FakeWindow : public OperatorWindow {
 public:
  struct Box {
    std::u16string text;
    std::u16string caption;
    unsigned style;
    // The serial-number member while the box was up: what the operator saw.
    std::u16string serialNo;
  };

  // What the operator has typed into the two edit boxes; a pull copies them
  // into the members, a push copies the members back.
  std::u16string fileNameBox;
  std::u16string serialNoBox;
  bool countUpChecked = true;
  // The probe the procedures are told to open.
  ProbeChoice chosen;

  // Answers the operator gives, in order; when none is scripted, a box is
  // answered with OK (or YES) and the confirmation dialog with YES.
  std::deque<int> boxAnswers;
  std::deque<int> confirmAnswers;

  std::vector<Box> boxes;
  std::vector<ControlState> states;
  std::vector<int> positions;
  int rangeLower = 0, rangeUpper = 0;
  int confirmShown = 0;
  bool timerRunning = false;
  unsigned timerPeriod = 0;
  std::vector<unsigned> timerStarts;
  int pulls = 0, pushes = 0;
  // Whether timer 0 ran when each box, and each confirmation dialog, opened:
  // a tick must never arrive while one of them is up.
  std::vector<bool> timerRunningAtBox;
  std::vector<bool> timerRunningAtConfirm;

  std::u16string m_fileName;
  std::u16string m_serialNo;

  void PullMembers() override {
    ++pulls;
    m_fileName = fileNameBox;
    m_serialNo = serialNoBox;
  }
  void PushMembers() override {
    ++pushes;
    fileNameBox = m_fileName;
    serialNoBox = m_serialNo;
  }
  std::u16string& FileName() override { return m_fileName; }
  std::u16string& SerialNo() override { return m_serialNo; }

  void SetControlState(ControlState mode) override {
    states.push_back(mode);
    if (mode == Updating) {
      rangeLower = 0;
      rangeUpper = 100;
      positions.push_back(0);
    }
    PushMembers();
  }
  bool IsCountUpChecked() override { return countUpChecked; }

  int MessageBox(const std::u16string& text, const std::u16string& caption,
                 unsigned style) override {
    boxes.push_back({text, caption, style, m_serialNo});
    timerRunningAtBox.push_back(timerRunning);
    return NextAnswer(boxAnswers, (style & 0x0F) == 0x04 ? 6 : 1);
  }
  int ShowConfirmDialog() override {
    ++confirmShown;
    timerRunningAtConfirm.push_back(timerRunning);
    return NextAnswer(confirmAnswers, 1);
  }

  // The status the window's step after the reset instruction returns.
  int afterResetStatus = 0;
  int afterResetCalls = 0;
  int AfterResetInstruction() override {
    ++afterResetCalls;
    return afterResetStatus;
  }

  void StartTimer0(unsigned periodMs) override {
    timerRunning = true;
    timerPeriod = periodMs;
    timerStarts.push_back(periodMs);
  }
  void StopTimer0() override { timerRunning = false; }

  void SetProgressRange(int lower, int upper) override {
    rangeLower = lower;
    rangeUpper = upper;
  }
  void SetProgressPos(int position) override { positions.push_back(position); }
  ProbeChoice ChosenProbe() override { return chosen; }

  bool Idle() const { return !states.empty() && states.back() == ::Idle; }
  std::vector<std::u16string> BoxTexts() const {
    std::vector<std::u16string> texts;
    for (const Box& box : boxes) texts.push_back(box.text);
    return texts;
  }

 private:
  static int NextAnswer(std::deque<int>& scripted, int unscripted) {
    if (scripted.empty()) return unscripted;
    const int answer = scripted.front();
    scripted.pop_front();
    return answer;
  }
};
