// The probe link's transport over probe models in the same process: a device
// index opens when a model is attached there, a write hands the frame to the
// model, and a read waits on the model's clock for as long as a real read
// would wait before it gives up.
//
// The attached models, the clock, the counters and the fault settings are the
// emulated world, which every link sees: one mutex guards each use of them,
// so links on several threads can run at once. What belongs to one link (the
// index it holds open, its reply watch) lives in the link itself.
#include "emulator/model_transport.h"

#include <array>
#include <memory>
#include <mutex>

#include "probe/transport.h"

struct TransportLinkState {
  int openIndex = -1;
  // The watch's read has taken the reply's first byte.
  bool watchExists = false;
  bool watchCompleted = false;
};

namespace {

std::mutex g_worldMutex;
std::array<std::unique_ptr<probe_model::ProbeModel>, kDeviceIndices> g_models;
std::array<int, kDeviceIndices> g_openCounts{};
std::array<int, kDeviceIndices> g_closeCounts{};
std::vector<int> g_openAttempts;
uint64_t g_nowMs = 0;
bool g_closeFails = false;
bool g_eventCreationFails = false;
bool g_replyWatchFails = false;

using WorldLock = std::lock_guard<std::mutex>;

int OpenIndexOf(const ProbeLink& link) {
  return link.transport ? link.transport->openIndex : -1;
}

TransportLinkState& StateOf(ProbeLink& link) {
  if (!link.transport) link.transport.reset(new TransportLinkState);
  return *link.transport;
}

probe_model::ProbeModel* OpenModel(const ProbeLink& link) {
  const int index = OpenIndexOf(link);
  return index < 0 ? nullptr : g_models[index].get();
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

void ClearWatch(TransportLinkState& state) {
  state.watchExists = false;
  state.watchCompleted = false;
}

// The counts and the clock, with the world's lock held.
void ForgetHistoryLocked() {
  g_openCounts.fill(0);
  g_closeCounts.fill(0);
  g_openAttempts.clear();
  g_nowMs = 0;
}

}  // namespace

namespace model_link {

void Reset() {
  const WorldLock lock(g_worldMutex);
  for (auto& model : g_models) model.reset();
  ForgetHistoryLocked();
  g_closeFails = false;
  g_eventCreationFails = false;
  g_replyWatchFails = false;
}

void ForgetHistory() {
  const WorldLock lock(g_worldMutex);
  ForgetHistoryLocked();
}

probe_model::ProbeModel& Attach(int index, probe_model::ProbeSettings settings) {
  const WorldLock lock(g_worldMutex);
  g_models.at(index) = std::make_unique<probe_model::ProbeModel>(std::move(settings));
  return *g_models[index];
}

void Detach(int index) {
  const WorldLock lock(g_worldMutex);
  g_models.at(index).reset();
}

probe_model::ProbeModel* ModelAt(int index) {
  const WorldLock lock(g_worldMutex);
  return g_models.at(index).get();
}

uint64_t NowMs() {
  const WorldLock lock(g_worldMutex);
  return g_nowMs;
}
void AdvanceClock(uint64_t ms) {
  const WorldLock lock(g_worldMutex);
  g_nowMs += ms;
}
void SetCloseFails(bool fails) {
  const WorldLock lock(g_worldMutex);
  g_closeFails = fails;
}
void SetEventCreationFails(bool fails) {
  const WorldLock lock(g_worldMutex);
  g_eventCreationFails = fails;
}
void SetReplyWatchFails(bool fails) {
  const WorldLock lock(g_worldMutex);
  g_replyWatchFails = fails;
}
int OpenIndex(const ProbeLink& link) {
  return OpenIndexOf(link);
}
std::vector<int> OpenAttempts() {
  const WorldLock lock(g_worldMutex);
  return g_openAttempts;
}
int OpenCount(int index) {
  const WorldLock lock(g_worldMutex);
  return g_openCounts.at(index);
}
int CloseCount(int index) {
  const WorldLock lock(g_worldMutex);
  return g_closeCounts.at(index);
}

}  // namespace model_link

// A link let go with its probe open closes it, as the system closes a
// handle a program leaves behind.
void TransportLinkStateDeleter::operator()(TransportLinkState* state) const {
  if (state == nullptr) return;
  if (state->openIndex >= 0) {
    const WorldLock lock(g_worldMutex);
    CloseIndex(state->openIndex);
  }
  delete state;
}

DeviceHandle OpenDeviceIndex(int index) {
  if (index < 0 || index >= kDeviceIndices) return kNoDevice;
  const WorldLock lock(g_worldMutex);
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
  if (device == kNoDevice) return;
  const WorldLock lock(g_worldMutex);
  CloseIndex(static_cast<int>(device));
}

void AdoptDevice(ProbeLink& link, DeviceHandle device) {
  StateOf(link).openIndex = static_cast<int>(device);
}

bool CloseProbe(ProbeLink& link) {
  const int index = OpenIndexOf(link);
  const WorldLock lock(g_worldMutex);
  if (index < 0 || g_closeFails) return false;
  ClearWatch(*link.transport);
  CloseIndex(index);
  link.transport->openIndex = -1;
  return true;
}

bool IsProbeOpen(const ProbeLink& link) {
  return OpenIndexOf(link) >= 0;
}

void ResetProbeHandle(ProbeLink& link) {
  if (link.transport) link.transport->openIndex = -1;
}

bool TimedWrite(ProbeLink& link, const uint8_t* bytes, uint32_t length, uint32_t* count) {
  const WorldLock lock(g_worldMutex);
  if (g_eventCreationFails) return false;
  probe_model::ProbeModel* model = OpenModel(link);
  if (model == nullptr) return TimeOut();
  // A probe that dropped off refuses the request at once.
  if (model->DropRequested()) return false;
  model->Write(bytes, length, g_nowMs);
  if (count != nullptr) *count = length;
  return true;
}

bool TimedRead(ProbeLink& link, uint8_t* buffer, uint32_t length, uint32_t* count) {
  const WorldLock lock(g_worldMutex);
  if (g_eventCreationFails) return false;
  probe_model::ProbeModel* model = OpenModel(link);
  if (model == nullptr) return TimeOut();
  if (model->DropRequested()) return false;
  if (model->Available(g_nowMs) == 0) {
    const auto next = model->NextReplyMs();
    if (!next || *next > g_nowMs + kTransferTimeoutMs) return TimeOut();
    // Another link's wait may have moved the shared clock past the reply.
    if (*next > g_nowMs) g_nowMs = *next;
  }
  // Like the driver's pipe, a read takes what has arrived, up to its length.
  const size_t got = model->Read(buffer, length, g_nowMs);
  if (got == 0) return false;
  if (count != nullptr) *count = static_cast<uint32_t>(got);
  return true;
}

bool StartReplyWatch(ProbeLink& link) {
  TransportLinkState& state = StateOf(link);
  ClearWatch(state);
  const WorldLock lock(g_worldMutex);
  if (g_eventCreationFails || g_replyWatchFails) return false;
  state.watchExists = true;
  return true;
}

ReplyWatchState PollReplyWatch(ProbeLink& link) {
  if (!link.transport || !link.transport->watchExists) return kWatchNone;
  TransportLinkState& state = *link.transport;
  if (state.watchCompleted) return kWatchPending;
  const WorldLock lock(g_worldMutex);
  probe_model::ProbeModel* model = OpenModel(link);
  if (model == nullptr) return kWatchPending;
  if (model->DropRequested()) {
    state.watchCompleted = true;
    return kWatchArrived;
  }
  if (model->Available(g_nowMs) == 0) return kWatchPending;
  uint8_t first = 0;
  model->Read(&first, 1, g_nowMs);
  state.watchCompleted = true;
  return kWatchArrived;
}

void StopReplyWatch(ProbeLink& link) {
  if (link.transport) ClearWatch(*link.transport);
}
