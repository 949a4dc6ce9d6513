// The events waiting for the line's MES, one file each in a folder, like a
// write-ahead log: an event is on disk, whole and flushed, before anything
// is sent, and its file goes only when the MES confirmed it. A name starts
// with the event's time in milliseconds, so the names' order is the order
// to send in. What the MES refused goes to rejected/, a damaged or cut file
// to damaged/: both are kept for a person to look at, never sent again.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "line/mes_event.h"
#include "line/utc_time.h"

inline constexpr char kMesRejectedFolder[] = "rejected";
inline constexpr char kMesDamagedFolder[] = "damaged";
// One file a serial number, holding how many events were made of it.
inline constexpr char kMesAttemptsFolder[] = "attempts";

struct MesOutboxEntry {
  std::filesystem::path file;
  int64_t createdMs = 0;  // UTC, milliseconds since 1970
};

struct MesOutboxStatus {
  size_t unsent = 0;
  std::optional<int64_t> oldestMs;  // the oldest unsent event's time
  size_t rejected = 0;
  size_t damaged = 0;
  std::string lastError;  // the last failure to send, as the sender said it
};

class MesOutbox {
 public:
  explicit MesOutbox(std::filesystem::path folder);

  const std::filesystem::path& folder() const { return folder_; }

  // Makes the folder and proves an event can be written in it now (a small
  // file written durably and removed): false with *error otherwise.
  bool CheckWritable(std::string* error);
  // The serial number's next attempt, counted durably beside the events so
  // that it goes on across runs and restarts (one file a number, its name
  // the number's bytes in hexadecimal): 1 for a number never seen; 0 with
  // *error when the count could not be kept. One caller at a time.
  int NextAttempt(const std::string& serial, std::string* error);
  // The event sealed and written durably under its time; false with *error.
  bool Put(const MesEvent& event, int64_t createdMs, std::string* error);

  // The unsent events, oldest first (none when the folder is not there).
  // *error, when given, says why the folder could not be read to its end.
  std::vector<MesOutboxEntry> Unsent(std::string* error = nullptr) const;
  enum class Load { kWhole, kGone, kDamaged };
  // An unsent event's body, checked whole.
  Load Read(const MesOutboxEntry& entry, std::string* body) const;
  // Confirmed by the MES: the file goes.
  void Delivered(const MesOutboxEntry& entry);
  // Into a subfolder (kMesRejectedFolder, kMesDamagedFolder), kept.
  void SetAside(const MesOutboxEntry& entry, const char* subfolder);

  // The last failure to send, kept beside the events for `mes status`;
  // an empty text clears it.
  void NoteError(const std::string& text);
  MesOutboxStatus Status() const;

 private:
  std::filesystem::path folder_;
  std::atomic<uint64_t> sequence_{0};
};

// "MES: 37 unsent, oldest 12 min" for a status with anything unsent; empty
// otherwise.
std::string MesWaitingText(const MesOutboxStatus& status, int64_t nowMs);
// The report's line: the waiting text, or "MES: nothing unsent", and what
// was set aside ("; 2 rejected, 1 damaged, kept in the outbox").
std::string MesReportLine(const MesOutboxStatus& status, int64_t nowMs);
