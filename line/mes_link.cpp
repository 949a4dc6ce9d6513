// The run's MES link: outbox, sender thread and events made together.
#include "line/mes_link.h"

#include "line/job_file.h"

std::unique_ptr<MesPoster> MakeMesPoster(const LineJob& job, const MesPosterMaker& maker,
                                         std::string* why) {
  MesUrl url;
  std::string token;
  if (!ParseMesUrl(job.mes, &url, why) || !ReadMesToken(job, &token, why)) return nullptr;
  if (!maker) {
    *why = "this build has no way to reach an MES";
    return nullptr;
  }
  return maker(url, token);
}

std::unique_ptr<MesLink> OpenMesLink(const LineJob& job, const std::string& programData,
                                     const MesPosterMaker& maker, std::string* message) {
  if (job.mes.empty()) return nullptr;
  auto link = std::make_unique<MesLink>(MesOutboxFolder(job, programData));
  std::string why;
  std::unique_ptr<MesPoster> poster = MakeMesPoster(job, maker, &why);
  if (!poster && maker) {
    *message = DescribeJobProblem(job.path, JobProblem{0, "mes", why});
    return nullptr;
  }
  if (poster) link->sender = std::make_unique<MesSenderThread>(link->outbox, std::move(poster));
  MesSenderThread* sender = link->sender.get();
  link->events = std::make_unique<MesProbeEvents>(link->outbox, job.mesHoldMinutes, [sender] {
    if (sender != nullptr) sender->Wake();
  });
  return link;
}
