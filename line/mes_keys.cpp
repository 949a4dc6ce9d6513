// The MES keys of a job file. The token stays out of the job and out of
// every message: a job is copied, signed and printed, its token file is not.
#include "line/mes_keys.h"

#include <algorithm>
#include <charconv>

#include "ledger/log_target.h"
#include "line/job_load.h"

namespace {

constexpr int kMostHoldMinutes = 7 * 24 * 60;
constexpr size_t kMostTokenBytes = 8 * 1024;
constexpr int kHttpPort = 80;
constexpr int kHttpsPort = 443;

std::string_view Blanks() {
  return " \t\r\n";
}

std::string_view TrimLineBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(Blanks());
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(Blanks()) - first + 1);
}

bool HostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

}  // namespace

bool ParseMesUrl(std::string_view text, MesUrl* url, std::string* why) {
  *url = MesUrl{};
  *why = "an http:// or https:// URL such as http://mes.line3:8080/events";
  std::string_view rest;
  if (text.substr(0, 7) == "http://") {
    rest = text.substr(7);
  } else if (text.substr(0, 8) == "https://") {
    url->https = true;
    rest = text.substr(8);
  } else {
    return false;
  }
  const size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  url->path = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
  if (authority.find('@') != std::string_view::npos) {
    *why = "no user or password in the URL: the token goes in mes_token_file";
    return false;
  }
  url->port = url->https ? kHttpsPort : kHttpPort;
  const size_t colon = authority.find(':');
  if (colon != std::string_view::npos) {
    const std::string_view port = authority.substr(colon + 1);
    const auto [end, failure] = std::from_chars(port.data(), port.data() + port.size(), url->port);
    if (port.empty() || failure != std::errc() || end != port.data() + port.size() ||
        url->port < 1 || url->port > 65535) {
      return false;
    }
    authority = authority.substr(0, colon);
  }
  if (authority.empty() || !std::all_of(authority.begin(), authority.end(), HostCharacter) ||
      url->path.find_first_of(" \t#") != std::string::npos) {
    return false;
  }
  url->host = std::string(authority);
  return true;
}

std::string MaskMesUrl(std::string_view value) {
  const size_t scheme = value.find("://");
  const size_t at = value.find('@');
  const size_t slash = value.find('/', scheme == std::string_view::npos ? 0 : scheme + 3);
  if (scheme == std::string_view::npos || at == std::string_view::npos || at > slash) {
    return std::string(value);
  }
  return std::string(value.substr(0, scheme + 3)) + "***" + std::string(value.substr(at));
}

bool TakeMesKey(size_t index, std::string_view value, const std::string& jobPath, LineJob* job,
                std::string* why) {
  switch (index) {
    case 0: {
      MesUrl url;
      if (!ParseMesUrl(value, &url, why)) return false;
      job->mes = std::string(value);
      return true;
    }
    case 1:
      if (value.empty()) return *why = "the file beside the job that holds the token", false;
      job->mesTokenFile = BesideJobFile(jobPath, std::string(value));
      return true;
    case 2: {
      int minutes = 0;
      const auto [end, failure] =
          std::from_chars(value.data(), value.data() + value.size(), minutes);
      if (value.empty() || failure != std::errc() || end != value.data() + value.size() ||
          minutes < 1 || minutes > kMostHoldMinutes) {
        return *why = "whole minutes from 1 to " + std::to_string(kMostHoldMinutes), false;
      }
      job->mesHoldMinutes = minutes;
      return true;
    }
    default:
      return false;
  }
}

bool CheckMesKeys(const LineJob& job, JobProblem* problem) {
  if (!job.mes.empty()) return true;
  const char* lonely = !job.mesTokenFile.empty() ? kMesKeys[1]
                       : job.mesHoldMinutes > 0  ? kMesKeys[2]
                                                 : nullptr;
  if (lonely == nullptr) return true;
  *problem = JobProblem{0, lonely, "needs mes: the URL the events are posted to"};
  return false;
}

bool ReadMesToken(const LineJob& job, std::string* token, std::string* why) {
  token->clear();
  if (job.mesTokenFile.empty()) return true;
  std::string bytes;
  if (!ReadFileBytes(FromUtf8(job.mesTokenFile), kMostTokenBytes, &bytes)) {
    *why = "the token file " + job.mesTokenFile + " cannot be read (missing, a folder, or over " +
           std::to_string(kMostTokenBytes / 1024) + " KiB)";
    return false;
  }
  const std::string_view text = TrimLineBlanks(bytes);
  if (text.empty() || text.find_first_of("\r\n") != std::string_view::npos) {
    *why = "the token file " + job.mesTokenFile + " holds no token of one line";
    return false;
  }
  *token = std::string(text);
  return true;
}

bool CheckMesTokenFile(const LineJob& job, std::string* message) {
  std::string token;
  std::string why;
  if (ReadMesToken(job, &token, &why)) return true;
  *message = DescribeJobProblem(job.path, JobProblem{0, kMesKeys[1], why});
  return false;
}

std::string MesOutboxFolder(const LineJob& job, const std::string& programData) {
  if (ParseLogTarget(job.log).kind != LogKind::kDatabase) return job.log + ".outbox";
  std::string name = job.name;
  for (char& c : name) {
    if (!HostCharacter(c)) c = '_';
  }
  return programData + "/Velkoro/outbox/" + name;
}
