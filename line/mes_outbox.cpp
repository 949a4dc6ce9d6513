// The outbox's files. Every step that may fail on disk reports instead of
// throwing: the sender runs on a thread of its own and must not end there.
#include "line/mes_outbox.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <iterator>
#include <system_error>

#include "line/durable_file.h"

namespace {

constexpr char kEventSuffix[] = ".event";
constexpr char kTemporarySuffix[] = ".tmp";
constexpr char kLastErrorFile[] = "last-error.txt";
constexpr char kProbeFile[] = "writable-";
constexpr int kTimeDigits = 13;
constexpr int kSequenceDigits = 8;
constexpr size_t kMostFileBytes = 128 * 1024;
constexpr int64_t kMsPerMinute = 60 * 1000;

std::string Padded(uint64_t value, int digits) {
  std::string text = std::to_string(value);
  return std::string(text.size() < static_cast<size_t>(digits) ? digits - text.size() : 0, '0') +
         text;
}

std::optional<int64_t> TimeOfName(const std::string& name) {
  if (name.size() < kTimeDigits + 1 || name[kTimeDigits] != '-') return std::nullopt;
  int64_t ms = 0;
  for (int i = 0; i < kTimeDigits; ++i) {
    if (name[i] < '0' || name[i] > '9') return std::nullopt;
    ms = ms * 10 + (name[i] - '0');
  }
  return ms;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

size_t CountFiles(const std::filesystem::path& folder) {
  std::error_code error;
  size_t count = 0;
  for (std::filesystem::directory_iterator it(folder, error), last; !error && it != last;
       it.increment(error)) {
    ++count;
  }
  return count;
}

}  // namespace

MesOutbox::MesOutbox(std::filesystem::path folder) : folder_(std::move(folder)) {}

bool MesOutbox::CheckWritable(std::string* error) {
  std::error_code made;
  std::filesystem::create_directories(folder_, made);
  if (made) {
    *error = "the folder cannot be made (" + made.message() + ")";
    return false;
  }
  // A name of its own: a tray's slots, and stations sharing the folder,
  // prove it at the same time.
  const std::filesystem::path probe = folder_ / (kProbeFile + NewMesEventId() + kTemporarySuffix);
  std::filesystem::path temporary = probe;
  temporary += kTemporarySuffix;
  if (!WriteFileDurably(temporary, probe, "writable\n", error)) return false;
  std::error_code removed;
  std::filesystem::remove(probe, removed);
  return true;
}

int MesOutbox::NextAttempt(const std::string& serial, std::string* error) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string name;
  for (const unsigned char c : serial) name.append({kHex[c >> 4], kHex[c & 15]});
  const std::filesystem::path folder = folder_ / kMesAttemptsFolder;
  std::error_code made;
  std::filesystem::create_directories(folder, made);
  const std::filesystem::path path = folder / (name + ".count");
  // A count that cannot be read (cut, foreign) starts again above nothing
  // rather than stopping the line.
  int before = 0;
  std::ifstream(path) >> before;
  const int next = before > 0 ? before + 1 : 1;
  std::filesystem::path temporary = path;
  temporary += kTemporarySuffix;
  if (!WriteFileDurably(temporary, path, std::to_string(next) + "\n", error)) return 0;
  return next;
}

bool MesOutbox::Put(const MesEvent& event, int64_t createdMs, std::string* error) {
  const std::string name = Padded(static_cast<uint64_t>(createdMs), kTimeDigits) + "-" +
                           Padded(sequence_++, kSequenceDigits) + "-" + event.eventId;
  std::error_code made;
  std::filesystem::create_directories(folder_, made);
  const std::filesystem::path path = folder_ / (name + kEventSuffix);
  std::filesystem::path temporary = path;
  temporary += kTemporarySuffix;
  return WriteFileDurably(temporary, path, SealMesEvent(MesEventJson(event)), error);
}

std::vector<MesOutboxEntry> MesOutbox::Unsent(std::string* listed) const {
  std::vector<MesOutboxEntry> entries;
  std::error_code error;
  std::filesystem::directory_iterator it(folder_, error), last;
  if (error == std::errc::no_such_file_or_directory) return entries;
  for (; !error && it != last; it.increment(error)) {
    const std::string name = it->path().filename().string();
    const std::optional<int64_t> ms = TimeOfName(name);
    if (!ms || !EndsWith(name, kEventSuffix)) continue;
    entries.push_back(MesOutboxEntry{it->path(), *ms});
  }
  if (error && listed != nullptr) *listed = "the outbox cannot be read (" + error.message() + ")";
  std::sort(entries.begin(), entries.end(), [](const MesOutboxEntry& a, const MesOutboxEntry& b) {
    return a.file.filename() < b.file.filename();
  });
  return entries;
}

MesOutbox::Load MesOutbox::Read(const MesOutboxEntry& entry, std::string* body) const {
  std::error_code error;
  const uintmax_t size = std::filesystem::file_size(entry.file, error);
  if (error) return Load::kGone;
  if (size > kMostFileBytes) return Load::kDamaged;
  std::ifstream in(entry.file, std::ios::binary);
  if (!in) return Load::kGone;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return UnsealMesEvent(bytes, body) ? Load::kWhole : Load::kDamaged;
}

void MesOutbox::Delivered(const MesOutboxEntry& entry) {
  std::error_code error;
  std::filesystem::remove(entry.file, error);
}

void MesOutbox::SetAside(const MesOutboxEntry& entry, const char* subfolder) {
  std::error_code error;
  const std::filesystem::path aside = folder_ / subfolder;
  std::filesystem::create_directories(aside, error);
  std::filesystem::rename(entry.file, aside / entry.file.filename(), error);
  // A file that cannot be moved must still never be sent again.
  if (error) std::filesystem::remove(entry.file, error);
}

void MesOutbox::NoteError(const std::string& text) {
  std::error_code error;
  const std::filesystem::path path = folder_ / kLastErrorFile;
  if (text.empty()) {
    std::filesystem::remove(path, error);
    return;
  }
  // For a person's look only: not flushed like an event.
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << UtcTextOf(UtcNowMs()) << ' ' << text;
}

MesOutboxStatus MesOutbox::Status() const {
  MesOutboxStatus status;
  const std::vector<MesOutboxEntry> unsent = Unsent();
  status.unsent = unsent.size();
  if (!unsent.empty()) status.oldestMs = unsent.front().createdMs;
  status.rejected = CountFiles(folder_ / kMesRejectedFolder);
  status.damaged = CountFiles(folder_ / kMesDamagedFolder);
  std::ifstream in(folder_ / kLastErrorFile, std::ios::binary);
  status.lastError.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return status;
}

std::string MesWaitingText(const MesOutboxStatus& status, int64_t nowMs) {
  if (status.unsent == 0 || !status.oldestMs) return "";
  const int64_t minutes = std::max<int64_t>(0, nowMs - *status.oldestMs) / kMsPerMinute;
  return "MES: " + std::to_string(status.unsent) + " unsent, oldest " + std::to_string(minutes) +
         " min";
}

std::string MesReportLine(const MesOutboxStatus& status, int64_t nowMs) {
  std::string line = MesWaitingText(status, nowMs);
  if (line.empty()) line = "MES: nothing unsent";
  std::string aside;
  if (status.rejected) aside = std::to_string(status.rejected) + " rejected";
  if (status.damaged)
    aside += (aside.empty() ? "" : ", ") + std::to_string(status.damaged) + " damaged";
  return line + (aside.empty() ? "" : "; " + aside + ", kept in the outbox") + ".";
}
