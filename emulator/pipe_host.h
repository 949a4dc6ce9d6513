// Serves one emulated probe at its device path \\.\VelkoroDeviceN: a named
// pipe behind an NT symbolic link of that name, one open at a time, a new
// open accepted after each close, every frame handed to the probe model.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/probe_model.h"

class PipeHost {
 public:
  // writeLine takes one finished transcript line; it may be called from the
  // host's own thread.
  PipeHost(int index, probe_model::ProbeSettings settings, ULONGLONG startTick,
           std::function<void(const std::string&)> writeLine);
  ~PipeHost();
  PipeHost(const PipeHost&) = delete;
  PipeHost& operator=(const PipeHost&) = delete;

  // Creates the pipe and the device link and starts serving. On failure
  // returns false with the reason in *error.
  bool Start(std::string* error);
  // Stops serving and removes the device link (also done by the destructor).
  void Stop();
  const probe_model::ProbeModel& Model() const { return model_; }
  // Pulls the probe's cable (false: its path stops opening, an open handle's
  // transfers fail) or puts it back (true: same serial number and flash).
  // May be called from any thread; returns once the host has done it, false
  // when that did not happen in time.
  bool SetPlugged(bool plugged);
  // Presses the probe's reset switch: the path goes away for the model's
  // reset time and comes back. Any thread; returns once the reset has
  // begun, false when it did not (the probe is unplugged, or no answer in
  // time).
  bool PressReset();

 private:
  struct Instance {
    HANDLE pipe = INVALID_HANDLE_VALUE;
    OVERLAPPED record{};
    bool pending = false;
  };

  void Serve();
  bool CreateLink(std::string* error);
  void RemoveLink();
  // On the host's thread: brings the cable to the state asked for.
  void ApplyPlugged();
  void Unplug();
  // On the host's thread: a reset asked for or due begins; one that is over
  // brings the path back.
  void ApplyReset();
  bool Listen(Instance& instance);
  void StartRead();
  void EndActive(const char* why);
  void PassReplies();
  void FlushTranscript();
  uint64_t NowMs() const;

  int index_;
  probe_model::ProbeModel model_;
  ULONGLONG startTick_;
  std::function<void(const std::string&)> writeLine_;
  std::wstring pipePath_;
  std::wstring linkTarget_;
  std::string name_;
  HANDLE link_ = nullptr;
  bool definedDosDevice_ = false;
  HANDLE quit_ = nullptr;
  // Two instances wait for an open, so a new open finds one at once even
  // while the host is still busy with the last close.
  Instance listening_[2];
  Instance active_;
  HANDLE activeRead_ = nullptr;
  // The event of every reply's write, made once.
  HANDLE replyWritten_ = nullptr;
  OVERLAPPED readRecord_{};
  std::vector<uint8_t> readBuffer_;
  size_t transcriptShown_ = 0;
  // A stops-taking fault: no read is kept on the open client until it closes.
  bool stalled_ = false;
  // Wakes the host when the cable is to change.
  HANDLE control_ = nullptr;
  std::mutex controlLock_;
  std::condition_variable controlDone_;
  bool wantPlugged_ = true;  // under controlLock_
  bool plugged_ = true;      // under controlLock_; changed on the host's thread only
  int resetsAsked_ = 0;      // under controlLock_
  int resetsBegun_ = 0;      // under controlLock_; changed on the host's thread only
  bool resetting_ = false;   // the host's thread only: the path is away
  std::thread thread_;
};
