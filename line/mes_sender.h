// Sending the outbox to the line's MES: oldest first, one at a time, each
// with its event id as the idempotency key. What an answer means is one
// rule (JudgeMesAnswer); when to try again is another (the backoff, 1 s
// doubling to 60 s). MesSender applies both on a clock it is given, so they
// are tested over a fake poster and a fake clock; MesSenderThread runs it
// in the background of a program, so sending never slows a probe.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "line/mes_outbox.h"

inline constexpr double kMesFirstBackoffSeconds = 1;
inline constexpr double kMesLongestBackoffSeconds = 60;

// What came back from one post. status 0: no HTTP answer at all (refused,
// timed out, closed mid-answer, not HTTP), error then says which.
struct MesAnswer {
  int status = 0;
  std::string error;
};

enum class MesVerdict {
  kDelivered,  // 2xx: the file goes
  kRetry,      // 408, 429, 5xx, no answer, anything unexpected: kept, tried later
  kRejected,   // any other 4xx: set aside, never sent blindly again
};
MesVerdict JudgeMesAnswer(const MesAnswer& answer);

// Posts one event's JSON to the MES (WinHTTP in the programs).
class MesPoster {
 public:
  virtual ~MesPoster() = default;
  virtual MesAnswer Post(const std::string& eventId, const std::string& body) = 0;
};

struct MesTally {
  size_t delivered = 0;
  size_t rejected = 0;
  size_t damaged = 0;
  size_t retries = 0;  // answers that left an event to be tried again
};

class MesSender {
 public:
  MesSender(MesOutbox& outbox, MesPoster& poster) : outbox_(outbox), poster_(poster) {}

  // One pass at now (seconds on a steady clock): when due, sends the
  // unsent events oldest first until the outbox is empty or an answer says
  // wait. Returns the seconds until the next pass is due (0: the outbox
  // was emptied, or nothing waits).
  double Pass(double now);
  // Sends now, whatever the backoff: true when nothing unsent is left.
  bool Flush(double now);

  const MesTally& tally() const { return tally_; }
  double backoff() const { return backoff_; }

 private:
  // The events sent in order; false when one is kept to be tried again.
  bool SendAll(double now);

  MesOutbox& outbox_;
  MesPoster& poster_;
  MesTally tally_;
  double backoff_ = 0;  // 0: the last answer was no reason to wait
  double nextTry_ = 0;
};

// The sender on a thread of its own for the life of a program: it looks at
// the outbox at least every kMesIdleLookMs, and at once when Wake() says an
// event was written. The destructor stops and joins it (a post under way
// ends within the poster's own time-outs).
inline constexpr unsigned kMesIdleLookMs = 500;

class MesSenderThread {
 public:
  MesSenderThread(MesOutbox& outbox, std::unique_ptr<MesPoster> poster);
  ~MesSenderThread();
  MesSenderThread(const MesSenderThread&) = delete;
  MesSenderThread& operator=(const MesSenderThread&) = delete;

  void Wake();

 private:
  void Loop();

  std::unique_ptr<MesPoster> poster_;
  MesSender sender_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool woken_ = false;
  std::thread thread_;
};
