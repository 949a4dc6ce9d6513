// The sender's rules and its thread.
#include "line/mes_sender.h"

#include <algorithm>
#include <chrono>

namespace {

std::string Described(const MesAnswer& answer) {
  if (answer.status == 0) return answer.error.empty() ? "no answer from the MES" : answer.error;
  return "the MES answered HTTP " + std::to_string(answer.status) +
         (answer.error.empty() ? "" : " (" + answer.error + ")");
}

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

MesVerdict JudgeMesAnswer(const MesAnswer& answer) {
  const int status = answer.status;
  if (status >= 200 && status <= 299) return MesVerdict::kDelivered;
  if (status == 408 || status == 429) return MesVerdict::kRetry;
  if (status >= 400 && status <= 499) return MesVerdict::kRejected;
  return MesVerdict::kRetry;
}

bool MesSender::SendAll(double now) {
  std::string listed;
  const std::vector<MesOutboxEntry> entries = outbox_.Unsent(&listed);
  // Part of a folder is not all of it: what was listed is sent, and the
  // outbox is not taken for empty.
  bool whole = listed.empty();
  if (!whole) {
    outbox_.NoteError(listed);
    backoff_ = std::min(kMesLongestBackoffSeconds, std::max(kMesFirstBackoffSeconds, backoff_ * 2));
    nextTry_ = now + backoff_;
  }
  for (const MesOutboxEntry& entry : entries) {
    std::string body;
    const MesOutbox::Load load = outbox_.Read(entry, &body);
    if (load == MesOutbox::Load::kGone) continue;  // sent by another sender meanwhile
    if (load == MesOutbox::Load::kDamaged) {
      outbox_.SetAside(entry, kMesDamagedFolder);
      ++tally_.damaged;
      continue;
    }
    const MesAnswer answer = poster_.Post(MesEventIdOf(body), body);
    switch (JudgeMesAnswer(answer)) {
      case MesVerdict::kDelivered:
        outbox_.Delivered(entry);
        ++tally_.delivered;
        if (backoff_ > 0) outbox_.NoteError("");
        backoff_ = 0;
        break;
      case MesVerdict::kRejected:
        outbox_.SetAside(entry, kMesRejectedFolder);
        ++tally_.rejected;
        outbox_.NoteError(entry.file.filename().string() + " rejected: " + Described(answer));
        break;
      case MesVerdict::kRetry:
        ++tally_.retries;
        outbox_.NoteError(Described(answer));
        backoff_ = backoff_ == 0 ? kMesFirstBackoffSeconds
                                 : std::min(kMesLongestBackoffSeconds, backoff_ * 2);
        nextTry_ = now + backoff_;
        return false;
    }
  }
  return whole;
}

double MesSender::Pass(double now) {
  if (backoff_ > 0 && now < nextTry_) return nextTry_ - now;
  return SendAll(now) ? 0 : backoff_;
}

bool MesSender::Flush(double now) {
  return SendAll(now);
}

MesSenderThread::MesSenderThread(MesOutbox& outbox, std::unique_ptr<MesPoster> poster)
    : poster_(std::move(poster)), sender_(outbox, *poster_), thread_([this] { Loop(); }) {}

MesSenderThread::~MesSenderThread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void MesSenderThread::Wake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    woken_ = true;
  }
  wake_.notify_all();
}

void MesSenderThread::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_) {
    lock.unlock();
    const double due = sender_.Pass(SteadySeconds());
    lock.lock();
    // While backing off a written event does not cut the wait short: the
    // MES is the one that is not ready.
    const bool backingOff = due > 0;
    const auto wait = backingOff ? std::chrono::milliseconds(static_cast<int64_t>(due * 1000))
                                 : std::chrono::milliseconds(kMesIdleLookMs);
    wake_.wait_for(lock, wait, [&] { return stop_ || (woken_ && !backingOff); });
    woken_ = false;
  }
}
