// The MES poster of the Windows programs: one POST per event over WinHTTP
// (a system DLL), with the event id as Idempotency-Key and the job's token
// as a bearer token. Every wait is capped (kMesHttp*Ms), so a silent MES
// holds the sender, never a probe, and never for long. And the machine's
// program data folder, where a database store's outbox lives.
#pragma once

#include <memory>
#include <string>

#include "line/mes_keys.h"
#include "line/mes_sender.h"

inline constexpr int kMesHttpResolveMs = 5000;
inline constexpr int kMesHttpConnectMs = 5000;
inline constexpr int kMesHttpSendMs = 10000;
inline constexpr int kMesHttpReceiveMs = 10000;

// token: empty for none. The token is kept only in memory and never put in
// an error text.
std::unique_ptr<MesPoster> MakeWinHttpMesPoster(const MesUrl& url, const std::string& token);

// The machine's program data (C:\ProgramData), shared by every user who
// runs a station there: where a database store's MES outbox lives.
std::string MesProgramDataFolder();
