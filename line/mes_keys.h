// The job's keys for the line's MES: where each finished probe's event is
// posted (mes), the file beside the job holding the bearer token (never the
// job itself, which travels and is signed in the clear), and how long the
// oldest unsent event may wait before no new probe starts.
#pragma once

#include <string>
#include <string_view>

#include "line/job_file.h"

// The MES's address, as WinHTTP takes it apart.
struct MesUrl {
  bool https = false;
  std::string host;
  int port = 0;
  std::string path;  // starts with '/'
};

// An http:// or https:// URL with a host, an optional port and path; no
// user or password in it (a secret belongs in mes_token_file). false with
// *why otherwise.
bool ParseMesUrl(std::string_view text, MesUrl* url, std::string* why);

// The value as a message may show it: a user and password in a URL masked.
std::string MaskMesUrl(std::string_view value);

// The job file's MES keys, in the order the job reader knows them after its
// own; their index in kMesKeys is what TakeMesKey is given.
inline constexpr const char* kMesKeys[] = {"mes", "mes_token_file", "mes_hold_minutes"};
inline constexpr size_t kMesKeyCount = 3;

// One MES key's value into the job; false with *why on a bad value.
bool TakeMesKey(size_t index, std::string_view value, const std::string& jobPath, LineJob* job,
                std::string* why);
// The MES keys taken together: the token file and the hold need mes.
bool CheckMesKeys(const LineJob& job, JobProblem* problem);

// Whether the token file can be read, once the job is loaded from disk:
// false with the job's usual one-line problem in *message (the file, not
// its content, is named).
bool CheckMesTokenFile(const LineJob& job, std::string* message);
// The bearer token: the token file's text without surrounding blanks; empty
// when the job names no token file. false with *why when it cannot be read.
bool ReadMesToken(const LineJob& job, std::string* token, std::string* why);

// Where the events wait to be sent: beside a CSV log (`<log>.outbox`), or
// for the line's database under programData (`<programData>/Velkoro/outbox/
// <job name>`, the name kept to letters, digits, '-', '_' and '.').
std::string MesOutboxFolder(const LineJob& job, const std::string& programData);
