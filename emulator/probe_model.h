// The emulated probe: a byte-stream peer that takes request frames and
// answers them as the probe does, with selectable faults, a flash of 640 KiB,
// a serial number kept as 16-bit code units and a transcript of every frame.
// Time is whatever the host says it is (milliseconds), so a host can drive
// it from a real clock and a test from one it advances itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/probe_protocol.h"

namespace probe_model {

// Answers of our own for requests the probe refuses.
inline constexpr uint8_t kStatusRefused = 0x31;
inline constexpr uint8_t kStatusBadFrame = 0x3F;
inline constexpr uint8_t kFaultStatus = 0x31;

enum class FaultKind {
  kNoReply,         // the request is taken and never answered
  kBadCheck,        // a long reply's check byte is wrong
  kShortReply,      // a long reply's body is cut to half (a status byte: none)
  kWrongEcho,       // a long reply's first body byte is not the command code
  kBadStatus,       // a status byte other than 0x30
  kEraseFails,      // the erase reply carries a non-zero status byte
  kEraseNeverEnds,  // the erase reply never comes
  kSerialCase,      // a written serial number is stored in the other letter case
  kFlipBit,         // one bit of the flash is flipped when it is programmed
  kDisconnect,      // half of a reply goes out, then the probe drops off
  kVanish,          // the request is taken, then the probe is gone (unplugged)
  kStopsTaking,     // the request is answered, then no further byte is taken
};

struct Fault {
  FaultKind kind = FaultKind::kNoReply;
  // Command code the fault applies to; 0 for every command.
  uint8_t command = 0;
  // Only the nth request of that command (1 = first); 0 for every one.
  uint32_t nth = 0;
  // kFlipBit: image offset of the byte whose lowest bit is flipped.
  uint32_t offset = 0;
};

struct ProbeSettings {
  uint8_t versionByte = 0x22;
  std::u16string serial = u"VELKORO-0001";
  uint32_t eraseMs = 2000;
  std::vector<Fault> faults;
  // The version byte the probe reports once it was reset after an executed
  // update; none: it keeps the one it had.
  std::optional<uint8_t> versionAfter;
  // The probe resets itself this long after an acknowledged execute request;
  // 0: only when the host resets it.
  uint32_t resetAfterMs = 0;
  // How long a reset keeps the device path from opening (re-enumeration).
  uint32_t resetGoneMs = 1000;
};

enum class Direction { kToProbe, kFromProbe, kEvent };

struct TranscriptEntry {
  uint64_t ms = 0;
  Direction direction = Direction::kEvent;
  uint8_t command = 0;  // 0 for events and unreadable frames
  std::vector<uint8_t> bytes;
  std::string note;
};

// "read-version", "erase" ...; empty for a code the probe does not know.
std::string_view CommandName(uint8_t command);
// The code for a command name as CommandName gives it, or nullopt.
std::optional<uint8_t> CommandByName(std::string_view name);
// A decimal number, or a hexadecimal one after 0x, as the emulator's options
// take them; nullopt for anything else or a value beyond 32 bits.
std::optional<uint32_t> ParseNumber(std::string_view text);
// Parses NAME[:COMMAND|:OFFSET][@N] as the emulator's --fault takes it.
std::optional<Fault> ParseFault(std::string_view text);
// One readable line per entry: time, direction, command, hex bytes, note.
std::string FormatTranscriptLine(const TranscriptEntry& entry, std::string_view probeName);

class ProbeModel {
 public:
  explicit ProbeModel(ProbeSettings settings = {});

  // Bytes the host wrote to the probe; whole frames are answered at once.
  void Write(const uint8_t* bytes, size_t length, uint64_t nowMs);
  // Reply bytes that can be read at nowMs.
  size_t Available(uint64_t nowMs);
  // Takes up to length of them; returns how many were taken.
  size_t Read(uint8_t* buffer, size_t length, uint64_t nowMs);
  // When the next reply bytes not yet available become so; nullopt if none wait.
  std::optional<uint64_t> NextReplyMs() const;
  // Set once the bytes before a disconnect fault have all been read; the host
  // then drops the connection and calls Reconnected.
  bool DropRequested() const { return dropRequested_; }
  void Reconnected(uint64_t nowMs);
  // Set when a vanish fault took its request; the host then unplugs the
  // probe, which calls Unplugged.
  bool VanishRequested() const { return vanishRequested_; }
  // Set when a stops-taking fault answered its request; the host then reads
  // nothing more until the next open.
  bool StopsTaking() const { return stopsTaking_; }
  // The cable pulled and put back: whatever was in flight is lost, the flash
  // and the serial number are kept.
  void Unplugged(uint64_t nowMs);
  void PluggedIn(uint64_t nowMs);
  // The reset switch: whatever was in flight is lost, the path stays away
  // until ResetOver, and after an executed update the probe runs (reports)
  // the version it was given (versionAfter).
  void Reset(uint64_t nowMs);
  // Whether the automatic reset after an execute request is due.
  bool ResetDue(uint64_t nowMs) const;
  // Whether a reset still keeps the path from opening.
  bool ResetOver(uint64_t nowMs) const { return nowMs >= resetUntilMs_; }
  // The host's open and close of the device, for the transcript.
  void NoteOpen(uint64_t nowMs);
  void NoteClose(uint64_t nowMs);
  void NoteEvent(uint64_t nowMs, std::string note);

  // For tests: queue raw reply bytes; with answering off, requests are only
  // recorded and every reply comes from what was queued.
  void QueueRawReply(std::vector<uint8_t> bytes, uint64_t atMs = 0);
  void SetAnswering(bool answering) { answering_ = answering; }
  // Queued replies stay across opens and closes (an open normally clears them).
  void KeepRepliesAcrossOpens(bool keep) { keepAcrossOpens_ = keep; }
  // Forgets queued bytes, request counts and the transcript (not the flash
  // or the serial number), so one model can serve many short runs.
  void ClearHistory();
  void SetSerialUnits(std::u16string units) { serial_ = std::move(units); }
  void SetVersionByte(uint8_t version) { settings_.versionByte = version; }
  void AddFault(const Fault& fault) { settings_.faults.push_back(fault); }

  const std::u16string& SerialUnits() const { return serial_; }
  const std::vector<uint8_t>& Flash() const { return flash_; }
  std::vector<uint8_t>& MutableFlash() { return flash_; }
  bool UpdateExecuted() const { return executed_; }
  uint8_t VersionByte() const { return settings_.versionByte; }
  const std::vector<TranscriptEntry>& Transcript() const { return transcript_; }
  // Whole request frames received, in order.
  std::vector<std::vector<uint8_t>> RequestsReceived() const;

 private:
  // A reply goes into the transcript when its first byte can be read.
  struct Pending {
    uint64_t atMs = 0;
    std::vector<uint8_t> bytes;
    size_t taken = 0;
    bool dropAfter = false;
    bool logged = false;
    TranscriptEntry entry;
  };

  void HandleFrame(const std::vector<uint8_t>& frame, uint64_t nowMs);
  std::vector<uint8_t> Answer(uint8_t command, const uint8_t* payload, size_t payloadLength,
                              bool* isLong, uint64_t* delayMs, bool* never);
  const Fault* ActiveFault(FaultKind kind, uint8_t command) const;
  void Send(uint8_t command, std::vector<uint8_t> bytes, uint64_t atMs, bool dropAfter,
            std::string note);

  ProbeSettings settings_;
  std::u16string serial_;
  std::vector<uint8_t> flash_;
  std::vector<uint8_t> input_;
  std::deque<Pending> output_;
  std::vector<uint32_t> requestCounts_ = std::vector<uint32_t>(256, 0);
  std::vector<TranscriptEntry> transcript_;
  bool answering_ = true;
  bool keepAcrossOpens_ = false;
  bool executed_ = false;
  // An executed update waiting for the reset that starts it.
  std::optional<uint64_t> executedAtMs_;
  uint64_t resetUntilMs_ = 0;
  bool dropRequested_ = false;
  bool vanishRequested_ = false;
  bool stopsTaking_ = false;
};

}  // namespace probe_model
