// The operator window running a line job (Ostrelin.exe --job JOB): the
// job's image in a file box that cannot be changed, the next free number of
// the job's range in a serial box that cannot be edited, each READ, WRITE
// and UPDATE recorded in the job's log or database with the job's tag, and
// every decision (the pinned image, the claim and its settlement, the
// version wait) left to line/. The window calls these hooks only when it
// runs a job; without one it stays as it always was.
#pragma once

// windows.h must come first.
// clang-format off
#include <windows.h>
// clang-format on
#undef MessageBox

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "firmware/probe_session.h"
#include "ledger/ledger.h"
#include "line/job_file.h"
#include "line/line_recorder.h"
#include "messages/message_codes.h"
#include "messages/operator_window.h"

// The job file the command line names after --job or /job (any case). false
// with *error when the switch has no file after it; *path stays empty when
// no job is named.
bool FindJobArgument(const std::vector<std::u16string>& args, std::u16string* path,
                     std::u16string* error);
// The program's arguments, as Windows split them.
std::vector<std::u16string> ProgramArguments();
// The one ERROR box of a job that cannot be used, with no window behind it.
void ShowJobError(HWND owner, const std::u16string& text);

// A store waiting for a program that holds the log keeps the window's
// cursor waiting; the store's own cap ends it.
class WindowLedgerWaiter : public LedgerWaiter {
 public:
  void Say(const std::string&) override {}
  bool Wait(unsigned ms) override;
};

class JobMode {
 public:
  JobMode();
  ~JobMode();

  // Reads the job and opens its store; false with the reason for the ERROR
  // box (the file, the line and the key; the log's file or the database's
  // server, never a password).
  bool Open(const std::u16string& path, std::u16string* message);
  const LineJob& job() const { return job_; }

  // The window's start: its title, the job's image, the next free number,
  // the boxes made read-only.
  void Start(HWND dialog, OperatorWindow& window, ProbeSession& session);
  // After each change of the controls' state: what the job fixes or leaves
  // out stays disabled.
  void AdjustControls(HWND dialog, ControlState mode) const;
  // A file dropped on the window: refused, the job fixes the image.
  void RefuseDrop(HWND dialog) const;
  // The LED display question: asked (ask) or taken as confirmed (skip).
  int ConfirmLed(const std::function<int()>& ask);

  void Read(OperatorWindow& window);
  void Write(OperatorWindow& window);
  void Update(OperatorWindow& window);
  // Timer 0's tick: the update's step, and its record once it has ended.
  bool Tick(OperatorWindow& window, uintptr_t timerId);
  // The window's hook after the reset instruction: the version wait.
  int AfterResetInstruction(HWND dialog, OperatorWindow& window);
  // The codes the procedures show, so the record holds their outcome.
  void Note(int code, CodeKind kind);

  // A close during the version wait ends the wait first (true: held back).
  bool HoldClose();
  bool waiting() const { return waiting_; }
  // The window is going: an update still running is recorded as stopped.
  void Closing();

 private:
  OperationRecord NewRecord(const char* command) const;
  // Records it; an ERROR box naming the store when it could not.
  void Keep(HWND owner, OperationRecord& record, bool requestSent);
  void ShowNextFree(OperatorWindow& window);
  void FinishUpdate(int stopped = 0);
  double Seconds() const;

  LineJob job_;
  WindowLedgerWaiter waiter_;
  std::unique_ptr<Ledger> ledger_;
  std::unique_ptr<LineRecorder> recorder_;
  HWND dialog_ = nullptr;
  // The window's probe, given at the start.
  ProbeSession* session_ = nullptr;
  // What the procedures showed since the step began.
  std::optional<int> result_;
  bool succeeded_ = false;
  // The update from UPDATE until its last step.
  std::optional<OperationRecord> update_;
  double updateStarted_ = 0;
  std::optional<std::string> led_;
  int versionStatus_ = 0;
  int tickDepth_ = 0;
  bool waiting_ = false;
  bool closeAsked_ = false;
};
