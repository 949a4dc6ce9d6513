// What the window's procedures ask of the probe. Each operation works on the
// probe link it is handed and returns 0 on success, or 1 with its result code
// written into *result (left untouched on success); PollProbeErase has the
// further answers 3 (pending) and 4.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/probe_choice.h"
#include "common/probe_protocol.h"
#include "common/result_codes.h"
#include "probe/probe_link.h"

inline constexpr int kSerialBufferUnits = 33;  // 32 characters and a zero

// Button operations: each opens the probe and closes it again. choice says
// which probe (the window's: the one attached probe, with results 1 and 2);
// a named index alone gives 1 when its path does not open.
int ReadProbeSerial(ProbeLink& link, char16_t serial[kSerialBufferUnits], int* result,
                    const ProbeChoice& choice = {});
// requestSent: set when the write-serial request was handed to the
// transport (set just before the send, so a request that may have left
// counts); a line's claim is settled by it.
int WriteProbeSerial(ProbeLink& link, const char16_t* serial,  // zero-terminated
                     int* result, const ProbeChoice& choice = {}, bool* requestSent = nullptr);
// On success link.version holds the version read.
int CheckProbeForUpdate(ProbeLink& link, char16_t versionText[4], int* result,
                        const ProbeChoice& choice = {});

// Whether probes are attached, seen as their device paths opening (each is
// closed again at once; nothing is sent). They use no link: the caller
// calls them only while none of its links has a probe handle open, as a
// probe held open would not be seen again.
// ProbePresence: for one index, 1 when its path opens, else 0; for
// kAnyProbeIndex, how many paths open, counting no further than 2.
int ProbePresence(int index);
bool ProbeAttached(int index);
// Opens the chosen probe for an update: 0, or result code 1 or 2.
int OpenProbeForUpdate(ProbeLink& link, const ProbeChoice& choice = {});
// Sends the erase request and starts its reply watch: 0; 3 when no probe is
// open or the request did not go out; 4 when the watch could not start.
int StartProbeErase(ProbeLink& link);
// Ends the erase's reply watch, if one runs.
void EndEraseWatch(ProbeLink& link);
// Closes the probe when a handle is open. A failed close is not reported:
// the caller has another result to show.
void CloseProbeIfOpen(ProbeLink& link);
// Records the link's probe handle as none without closing anything (the
// window's start).
void ForgetProbeHandle(ProbeLink& link);

// Update steps, with the probe open; none of them closes it on failure.
inline constexpr int kErasePending = 3;
inline constexpr int kEraseReceiveFailed = 4;
int PollProbeErase(ProbeLink& link, int* result);
// One transfer unit handed down by the update: its image offset and bytes
// (1 to kMaxUnitTransferBytes), programmed in requests of the size
// link.version allows.
inline constexpr uint32_t kMaxUnitTransferBytes = kMaxFlashBlockBytes;
int ProgramUnit(ProbeLink& link, uint32_t offset, const uint8_t* bytes, uint32_t length,
                int* result);
// Reads length bytes (1 to kMaxUnitTransferBytes) back from the read address
// (kReadBackBase + offset) into data, in one request.
int ReadBackUnit(ProbeLink& link, uint32_t readAddress, uint32_t length, uint8_t* data,
                 int* result);
int ExecuteProbeUpdate(ProbeLink& link, int* result);
int CloseProbeAfterUpdate(ProbeLink& link, int* result);

// The probe's firmware version, with the probe open: 0 and the version value
// (bit 7 cleared), or a result code (3, 4, or 6 for a reply without it). The
// one reader every check and every look at a probe goes through.
int ReadProbeVersion(ProbeLink& link, uint8_t* version);
// A version value as the probe's firmware is shown: major digit, full stop,
// minor digit 0 to 9 or A to F (such as 2.2 or 1.A), then a zero.
void FormatProbeVersion(uint8_t version, char16_t text[4]);
// The same text for a record or a message (ASCII).
std::string ProbeVersionText(uint8_t version);
// The version value of such a text (major digit 0 to 7, the probe's version
// byte keeping bit 7 for its flag; minor digit 0 to 9 or A to F, either
// case); nullopt for any other text.
std::optional<uint8_t> ParseProbeVersion(std::string_view text);

// Sub-steps of the button operations, with the probe open; each returns 0 or
// a result code.
int CheckVersionForSerial(ProbeLink& link);
// Remembers the version in link.version when the probe may be updated.
int CheckVersionForUpdate(ProbeLink& link, char16_t versionText[4]);
int FetchSerialNumber(ProbeLink& link, char16_t serial[kSerialBufferUnits]);
int StoreSerialNumber(ProbeLink& link, const char16_t* serial,  // zero-terminated
                      bool* requestSent = nullptr);
int CompareSerialNumber(const char16_t* readBack, const char16_t* written);
