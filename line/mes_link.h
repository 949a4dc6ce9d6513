// A job run's link to the line's MES, the same for every front-end: the
// outbox, its one sender thread and the probes' events, for as long as the
// program runs the job. Destroyed before the run goes: the sender is
// stopped and joined, the unsent events stay on disk for the next start.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "line/mes_keys.h"
#include "line/mes_probe_events.h"
#include "line/mes_sender.h"

// Makes the poster for a job's URL and bearer token (WinHTTP in the
// programs, a fake in the tests).
using MesPosterMaker =
    std::function<std::unique_ptr<MesPoster>(const MesUrl& url, const std::string& token)>;

// What a program gives its runs to reach the line's MES: where a database
// store's outbox lives, and the poster maker.
struct MesAccess {
  std::string programData;
  MesPosterMaker maker;
};

struct MesLink {
  explicit MesLink(const std::string& folder) : outbox(folder) {}
  MesOutbox outbox;
  std::unique_ptr<MesProbeEvents> events;
  std::unique_ptr<MesSenderThread> sender;  // none without a maker: the events wait
};

// The job's poster: nullptr with *why when its URL or token cannot be used,
// or when there is no maker.
std::unique_ptr<MesPoster> MakeMesPoster(const LineJob& job, const MesPosterMaker& maker,
                                         std::string* why);

// The job's MES link, its outbox beside the log or under programData
// (MesOutboxFolder): nullptr when the job names no MES, or with the job's
// one-line problem in *message when its URL or token cannot be used.
std::unique_ptr<MesLink> OpenMesLink(const LineJob& job, const std::string& programData,
                                     const MesPosterMaker& maker, std::string* message);
