// Serves one emulated probe at its device path through a named pipe.
#include "emulator/pipe_host.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr DWORD kPipeBufferBytes = 65536;
// No room for requests the probe has not taken: a write completes once the
// host has read its bytes, as a driver's write completes once the probe took
// them, so a probe that takes nothing more holds the writer until it gives up.
constexpr DWORD kRequestBufferBytes = 0;
// How long a plug or unplug asked from another thread may take.
constexpr auto kControlWait = std::chrono::seconds(5);
constexpr DWORD kReadChunkBytes = 4096;
// The host wakes at least this often to pass on replies that became due.
constexpr DWORD kHostTickMs = 20;
// A reply is written to a pipe with room for it; this only bounds a stuck one.
constexpr DWORD kReplyWriteWaitMs = 3000;
// Where each event stands in the host's wait.
constexpr DWORD kQuitSlot = 0;
constexpr DWORD kListeningSlot = 2;
constexpr DWORD kActiveReadSlot = 4;

std::string ErrorText(const char* what, DWORD error) {
  return std::string(what) + " (error " + std::to_string(error) + ")";
}

}  // namespace

PipeHost::PipeHost(int index, probe_model::ProbeSettings settings, ULONGLONG startTick,
                   std::function<void(const std::string&)> writeLine)
    : index_(index),
      model_(std::move(settings)),
      startTick_(startTick),
      writeLine_(std::move(writeLine)),
      name_("probe" + std::to_string(index)),
      readBuffer_(kReadChunkBytes) {
  const std::wstring pipeName =
      L"VelkoroEmulator-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(index);
  pipePath_ = L"\\\\.\\pipe\\" + pipeName;
  linkTarget_ = L"\\Device\\NamedPipe\\" + pipeName;
}

PipeHost::~PipeHost() {
  Stop();
}

uint64_t PipeHost::NowMs() const {
  return GetTickCount64() - startTick_;
}

bool PipeHost::Listen(Instance& instance) {
  if (instance.pipe == INVALID_HANDLE_VALUE) {
    instance.pipe =
        CreateNamedPipeW(pipePath_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                         PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                         kPipeBufferBytes, kRequestBufferBytes, 0, nullptr);
    if (instance.pipe == INVALID_HANDLE_VALUE) return false;
    instance.record = OVERLAPPED{};
    instance.record.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (instance.record.hEvent == nullptr) {
      CloseHandle(instance.pipe);
      instance.pipe = INVALID_HANDLE_VALUE;
      return false;
    }
  }
  ResetEvent(instance.record.hEvent);
  instance.pending = true;
  if (!ConnectNamedPipe(instance.pipe, &instance.record)) {
    const DWORD error = GetLastError();
    if (error == ERROR_PIPE_CONNECTED) {
      // The client came between creation and listening: it is connected,
      // though the record will never report it.
      instance.pending = false;
      SetEvent(instance.record.hEvent);
    } else if (error != ERROR_IO_PENDING) {
      // Refused at once: no request is left for Stop to wait for.
      instance.pending = false;
      return false;
    }
  }
  return true;
}

bool PipeHost::SetPlugged(bool plugged) {
  std::unique_lock<std::mutex> hold(controlLock_);
  wantPlugged_ = plugged;
  if (control_ == nullptr || !SetEvent(control_)) return false;
  return controlDone_.wait_for(hold, kControlWait, [&] { return plugged_ == plugged; });
}

bool PipeHost::PressReset() {
  std::unique_lock<std::mutex> hold(controlLock_);
  if (!plugged_) return false;
  const int wanted = ++resetsAsked_;
  if (control_ == nullptr || !SetEvent(control_)) return false;
  return controlDone_.wait_for(hold, kControlWait, [&] { return resetsBegun_ >= wanted; });
}

void PipeHost::ApplyReset() {
  const uint64_t now = NowMs();
  bool asked = false;
  {
    std::lock_guard<std::mutex> hold(controlLock_);
    asked = resetsAsked_ > resetsBegun_ && plugged_;
  }
  if (asked || (plugged_ && !resetting_ && model_.ResetDue(now))) {
    if (active_.pipe != INVALID_HANDLE_VALUE) EndActive("");
    RemoveLink();
    model_.Reset(now);
    resetting_ = true;
    std::lock_guard<std::mutex> hold(controlLock_);
    resetsBegun_ = resetsAsked_;
    controlDone_.notify_all();
    return;
  }
  if (!resetting_ || !model_.ResetOver(now)) return;
  resetting_ = false;
  // Unplugged meanwhile: the path stays away until it is plugged in.
  if (!plugged_) return;
  std::string error;
  if (CreateLink(&error)) {
    model_.NoteEvent(now, "back after the reset");
  } else {
    model_.NoteEvent(now, "cannot come back after the reset: " + error);
  }
}

void PipeHost::ApplyPlugged() {
  bool want = true;
  {
    std::lock_guard<std::mutex> hold(controlLock_);
    want = wantPlugged_;
    if (want == plugged_) return;
  }
  if (!want) {
    Unplug();
    return;
  }
  std::string error;
  if (!CreateLink(&error)) {
    model_.NoteEvent(NowMs(), "cannot be plugged in: " + error);
    return;
  }
  model_.PluggedIn(NowMs());
  std::lock_guard<std::mutex> hold(controlLock_);
  plugged_ = true;
  controlDone_.notify_all();
}

void PipeHost::Unplug() {
  if (active_.pipe != INVALID_HANDLE_VALUE) EndActive("");
  RemoveLink();
  model_.Unplugged(NowMs());
  std::lock_guard<std::mutex> hold(controlLock_);
  // A vanishing probe stays away until it is plugged in again.
  wantPlugged_ = false;
  plugged_ = false;
  controlDone_.notify_all();
}

bool PipeHost::Start(std::string* error) {
  quit_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  control_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (quit_ == nullptr || control_ == nullptr) {
    *error = ErrorText("cannot create an event", GetLastError());
    return false;
  }
  for (Instance& instance : listening_) {
    if (!Listen(instance)) {
      *error = ErrorText("cannot create the pipe", GetLastError());
      return false;
    }
  }
  activeRead_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  replyWritten_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (activeRead_ == nullptr || replyWritten_ == nullptr) {
    *error = ErrorText("cannot create an event", GetLastError());
    return false;
  }
  if (!CreateLink(error)) return false;
  model_.NoteEvent(NowMs(), "serving " + DevicePathOf(index_));
  FlushTranscript();
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void PipeHost::Stop() {
  if (thread_.joinable()) {
    SetEvent(quit_);
    thread_.join();
  }
  if (active_.pipe != INVALID_HANDLE_VALUE) EndActive("closed as the emulator ends");
  for (Instance& instance : listening_) {
    if (instance.pipe == INVALID_HANDLE_VALUE) continue;
    DWORD ignored = 0;
    if (instance.pending) {
      CancelIoEx(instance.pipe, &instance.record);
      GetOverlappedResult(instance.pipe, &instance.record, &ignored, TRUE);
    }
    CloseHandle(instance.pipe);
    CloseHandle(instance.record.hEvent);
    instance = Instance{};
  }
  RemoveLink();
  if (activeRead_ != nullptr) CloseHandle(activeRead_);
  activeRead_ = nullptr;
  if (replyWritten_ != nullptr) CloseHandle(replyWritten_);
  replyWritten_ = nullptr;
  if (quit_ != nullptr) CloseHandle(quit_);
  quit_ = nullptr;
  {
    std::lock_guard<std::mutex> hold(controlLock_);
    if (control_ != nullptr) CloseHandle(control_);
    control_ = nullptr;
  }
  FlushTranscript();
}

void PipeHost::StartRead() {
  // ReadFile itself resets the event as the read begins.
  readRecord_ = OVERLAPPED{};
  readRecord_.hEvent = activeRead_;
  if (!ReadFile(active_.pipe, readBuffer_.data(), kReadChunkBytes, nullptr, &readRecord_)) {
    const DWORD error = GetLastError();
    // The client is gone; the next look at the read event ends the open.
    if (error != ERROR_IO_PENDING) SetEvent(activeRead_);
  }
}

void PipeHost::EndActive(const char* why) {
  CancelIoEx(active_.pipe, &readRecord_);
  DWORD ignored = 0;
  GetOverlappedResult(active_.pipe, &readRecord_, &ignored, TRUE);
  DisconnectNamedPipe(active_.pipe);
  CloseHandle(active_.pipe);
  CloseHandle(active_.record.hEvent);
  active_ = Instance{};
  stalled_ = false;
  model_.NoteClose(NowMs());
  if (why != nullptr && why[0] != 0) model_.NoteEvent(NowMs(), why);
}

void PipeHost::PassReplies() {
  if (active_.pipe == INVALID_HANDLE_VALUE) return;
  const uint64_t now = NowMs();
  std::vector<uint8_t> reply(model_.Available(now));
  const size_t got = model_.Read(reply.data(), reply.size(), now);
  if (got > 0) {
    // The whole reply goes in one write, so one read takes it whole.
    OVERLAPPED record{};
    record.hEvent = replyWritten_;
    {
      DWORD written = 0;
      const BOOL issued =
          WriteFile(active_.pipe, reply.data(), static_cast<DWORD>(got), nullptr, &record);
      // A write refused at once (the client has just closed) never signals
      // its event: waiting for its result would stop the host for good.
      const bool pending = !issued && GetLastError() == ERROR_IO_PENDING;
      if (pending && WaitForSingleObject(record.hEvent, kReplyWriteWaitMs) != WAIT_OBJECT_0) {
        CancelIoEx(active_.pipe, &record);
      }
      if (issued || pending) GetOverlappedResult(active_.pipe, &record, &written, TRUE);
    }
  }
  if (model_.DropRequested()) {
    // Give the client a moment to take the bytes before the pipe breaks.
    FlushFileBuffers(active_.pipe);
    EndActive("the probe dropped off (fault)");
    model_.Reconnected(NowMs());
  }
}

void PipeHost::Serve() {
  for (;;) {
    DWORD waitMs = kHostTickMs;
    if (const auto next = model_.NextReplyMs()) {
      const uint64_t now = NowMs();
      waitMs = *next <= now ? 0 : static_cast<DWORD>(std::min<uint64_t>(*next - now, kHostTickMs));
    }
    HANDLE events[5] = {quit_, control_, listening_[0].record.hEvent, listening_[1].record.hEvent};
    DWORD count = 4;
    if (active_.pipe != INVALID_HANDLE_VALUE && !stalled_) events[count++] = activeRead_;
    const DWORD woke = WaitForMultipleObjects(count, events, FALSE, waitMs);
    // The wait names the lowest event signalled, so none below it needs a
    // look of its own, nor any after a time-out: with many probes, each look
    // is a trip to Wine's one server for every frame of every probe.
    const auto mayBeSet = [woke](DWORD slot) {
      if (woke == WAIT_TIMEOUT) return false;
      return woke == WAIT_FAILED || woke - WAIT_OBJECT_0 <= slot;
    };
    if (mayBeSet(kQuitSlot) && WaitForSingleObject(quit_, 0) == WAIT_OBJECT_0) break;
    ApplyPlugged();
    ApplyReset();
    // With no read kept, only a look at the pipe tells that the client closed.
    if (active_.pipe != INVALID_HANDLE_VALUE && stalled_ &&
        !PeekNamedPipe(active_.pipe, nullptr, 0, nullptr, nullptr, nullptr)) {
      EndActive("");
    }

    // The active client first: a close that came before a new open is seen
    // before that open.
    if (active_.pipe != INVALID_HANDLE_VALUE && !stalled_ && mayBeSet(kActiveReadSlot) &&
        (woke == WAIT_OBJECT_0 + kActiveReadSlot ||
         WaitForSingleObject(activeRead_, 0) == WAIT_OBJECT_0)) {
      DWORD got = 0;
      if (GetOverlappedResult(active_.pipe, &readRecord_, &got, FALSE)) {
        model_.Write(readBuffer_.data(), got, NowMs());
        // Decided before the reply goes out, so the client's next request
        // can never be taken first.
        if (model_.VanishRequested()) {
          Unplug();
        } else if (model_.StopsTaking()) {
          stalled_ = true;
        } else {
          StartRead();
        }
      } else {
        EndActive("");
      }
    }
    for (DWORD slot = 0; slot < 2; ++slot) {
      Instance& instance = listening_[slot];
      if (!mayBeSet(kListeningSlot + slot) ||
          WaitForSingleObject(instance.record.hEvent, 0) != WAIT_OBJECT_0) {
        continue;
      }
      DWORD ignored = 0;
      const bool connected = !instance.pending ||
                             GetOverlappedResult(instance.pipe, &instance.record, &ignored, FALSE);
      if (connected && active_.pipe != INVALID_HANDLE_VALUE &&
          !PeekNamedPipe(active_.pipe, nullptr, 0, nullptr, nullptr, nullptr)) {
        EndActive("");
      }
      if (!connected || active_.pipe != INVALID_HANDLE_VALUE || !plugged_ || resetting_) {
        // The device is open already: a second open is dropped at once. An
        // open that raced an unplug or a reset finds no probe.
        if (connected && plugged_ && !resetting_) {
          model_.NoteEvent(NowMs(), "a second open was refused");
        }
        DisconnectNamedPipe(instance.pipe);
        Listen(instance);
        continue;
      }
      active_ = instance;
      instance = Instance{};
      if (model_.DropRequested()) model_.Reconnected(NowMs());
      model_.NoteOpen(NowMs());
      StartRead();
      Listen(instance);
    }
    PassReplies();
    FlushTranscript();
  }
}

void PipeHost::FlushTranscript() {
  const auto& entries = model_.Transcript();
  for (; transcriptShown_ < entries.size(); ++transcriptShown_) {
    writeLine_(probe_model::FormatTranscriptLine(entries[transcriptShown_], name_));
  }
}
