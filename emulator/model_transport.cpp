// The probe link's transport over probe models in the same process: a device
// index opens when a model is attached there, a write hands the frame to the
// model, and a read waits on the model's clock for as long as a real read
// would wait before it gives up.
#include "emulator/model_transport.h"

#include <array>
#include <memory>

#include "probe/link_reset.h"
#include "probe/transport.h"

namespace {

struct ReplyWatch {
  bool exists = false;
  bool completed = false;
};

std::array<std::unique_ptr<probe_model::ProbeModel>, kDeviceIndices> g_models;
std::array<int, kDeviceIndices> g_openCounts{};
std::array<int, kDeviceIndices> g_closeCounts{};
std::vector<int> g_openAttempts;
uint64_t g_nowMs = 0;
// The open probe and its watch are per thread, as in the Win32 transport.
thread_local int g_openIndex = -1;
bool g_closeFails = false;
bool g_eventCreationFails = false;
bool g_replyWatchFails = false;
thread_local ReplyWatch g_watch;

probe_model::ProbeModel* OpenModel() {
  return g_openIndex < 0 ? nullptr : g_models[g_openIndex].get();
}

// A transfer that never completes costs its whole time-out.
bool TimeOut() {
  g_nowMs += kTransferTimeoutMs + 1;
  return false;
}

void CloseIndex(int index) {
  ++g_closeCounts[index];
  if (g_models[index]) g_models[index]->NoteClose(g_nowMs);
}

}  // namespace

namespace model_link {

void Reset() {
  ResetTransportForTests();
  for (auto& model : g_models) model.reset();
  ForgetHistory();
  g_eventCreationFails = false;
  g_replyWatchFails = false;
}

void ForgetHistory() {
  g_openCounts.fill(0);
  g_closeCounts.fill(0);
  g_openAttempts.clear();
  g_nowMs = 0;
}

probe_model::ProbeModel& Attach(int index, probe_model::ProbeSettings settings) {
  g_models.at(index) = std::make_unique<probe_model::ProbeModel>(std::move(settings));
  return *g_models[index];
}

void Detach(int index) {
  g_models.at(index).reset();
}

probe_model::ProbeModel* ModelAt(int index) {
  return g_models.at(index).get();
}

uint64_t NowMs() {
  return g_nowMs;
}
void AdvanceClock(uint64_t ms) {
  g_nowMs += ms;
}
void SetCloseFails(bool fails) {
  g_closeFails = fails;
}
void SetEventCreationFails(bool fails) {
  g_eventCreationFails = fails;
}
void SetReplyWatchFails(bool fails) {
  g_replyWatchFails = fails;
}
int OpenIndex() {
  return g_openIndex;
}
const std::vector<int>& OpenAttempts() {
  return g_openAttempts;
}
int OpenCount(int index) {
  return g_openCounts.at(index);
}
int CloseCount(int index) {
  return g_closeCounts.at(index);
}

}  // namespace model_link

DeviceHandle OpenDeviceIndex(int index) {
  if (index < 0 || index >= kDeviceIndices) return kNoDevice;
  g_openAttempts.push_back(index);
  probe_model::ProbeModel* model = g_models[index].get();
  if (model == nullptr) return kNoDevice;
  if (model->ResetDue(g_nowMs)) model->Reset(g_nowMs);
  // Re-enumerating after a reset: the path does not open for a moment.
  if (!model->ResetOver(g_nowMs)) return kNoDevice;
  ++g_openCounts[index];
  if (model->DropRequested()) model->Reconnected(g_nowMs);
  model->NoteOpen(g_nowMs);
  return index;
}

void CloseDevice(DeviceHandle device) {
  if (device != kNoDevice) CloseIndex(static_cast<int>(device));
}

void AdoptDevice(DeviceHandle device) {
  g_openIndex = static_cast<int>(device);
}

bool CloseProbe() {
  if (g_openIndex < 0 || g_closeFails) return false;
  g_watch = {};
  CloseIndex(g_openIndex);
  g_openIndex = -1;
  return true;
}

bool IsProbeOpen() {
  return g_openIndex >= 0;
}

void ResetProbeHandle() {
  g_openIndex = -1;
}

void ResetTransportForTests() {
  if (g_openIndex >= 0) CloseIndex(g_openIndex);
  g_openIndex = -1;
  g_watch = {};
  g_closeFails = false;
}

bool TimedWrite(const uint8_t* bytes, uint32_t length, uint32_t* count) {
  if (g_eventCreationFails) return false;
  probe_model::ProbeModel* model = OpenModel();
  if (model == nullptr) return TimeOut();
  // A probe that dropped off refuses the request at once.
  if (model->DropRequested()) return false;
  model->Write(bytes, length, g_nowMs);
  if (count != nullptr) *count = length;
  return true;
}

bool TimedRead(uint8_t* buffer, uint32_t length, uint32_t* count) {
  if (g_eventCreationFails) return false;
  probe_model::ProbeModel* model = OpenModel();
  if (model == nullptr) return TimeOut();
  if (model->DropRequested()) return false;
  if (model->Available(g_nowMs) == 0) {
    const auto next = model->NextReplyMs();
    if (!next || *next > g_nowMs + kTransferTimeoutMs) return TimeOut();
    g_nowMs = *next;
  }
  // Like the driver's pipe, a read takes what has arrived, up to its length.
  const size_t got = model->Read(buffer, length, g_nowMs);
  if (got == 0) return false;
  if (count != nullptr) *count = static_cast<uint32_t>(got);
  return true;
}

bool StartReplyWatch() {
  if (g_eventCreationFails || g_replyWatchFails) {
    g_watch = {};
    return false;
  }
  g_watch = {};
  g_watch.exists = true;
  return true;
}

ReplyWatchState PollReplyWatch() {
  if (!g_watch.exists) return kWatchNone;
  if (g_watch.completed) return kWatchPending;
  probe_model::ProbeModel* model = OpenModel();
  if (model == nullptr) return kWatchPending;
  if (model->DropRequested()) {
    g_watch.completed = true;
    return kWatchArrived;
  }
  if (model->Available(g_nowMs) == 0) return kWatchPending;
  uint8_t first = 0;
  model->Read(&first, 1, g_nowMs);
  g_watch.completed = true;
  return kWatchArrived;
}

void StopReplyWatch() {
  g_watch = {};
}
