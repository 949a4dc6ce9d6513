// What the operator window's buttons, timer, drops and close do, behind one
// interface: this base is the window without a job, the procedures as the
// window has always run them; a job's window (job_window_mode.h) runs each
// step through the line's one job run instead. The dialog holds one mode and
// asks it, so it has no branch of its own for a job.
#pragma once

#include <cstdint>

#include "firmware/probe_session.h"
#include "messages/operator_window.h"

// The window's slow timer: what it shows of the line, looked at again.
inline constexpr uintptr_t kRefreshTimerId = 1;

class WindowMode {
 public:
  explicit WindowMode(OperatorWindow& window) : window_(window) {}
  virtual ~WindowMode() = default;
  WindowMode(const WindowMode&) = delete;
  WindowMode& operator=(const WindowMode&) = delete;

  // Once the dialog has set its boxes and controls.
  virtual void Start() {}
  virtual void Read();
  virtual void Write();
  virtual void Update();
  // Timer 0 runs the update's next step, kRefreshTimerId Refresh(); false
  // for a timer that is neither.
  bool Tick(uintptr_t timerId);
  // What the window shows of the line, looked at again.
  virtual void Refresh() {}

  // Whether Browse and a dropped file may change the image.
  virtual bool TakesFiles() const { return true; }
  // A dropped file that TakesFiles() refused.
  virtual void RefuseFile() {}
  // After each change of the controls' state.
  virtual void AdjustControls(ControlState /*mode*/) {}
  // Whether WRITE counts the number up from the box when the box says so.
  virtual bool CountsUp() const { return true; }
  // Whether the pointer shows the wait cursor over the window.
  virtual bool Waiting() const { return false; }
  // A close asked for now waits until the step under way has ended (true).
  virtual bool HoldClose() { return false; }
  // The window is going: an update still under way is abandoned and its
  // probe closed.
  void Closing();

 protected:
  // The window the update's steps are shown in.
  virtual OperatorWindow& TickedWindow() { return window_; }

  OperatorWindow& window_;
  // The one probe the window works on: its link, image and update.
  ProbeSession session_;
};
