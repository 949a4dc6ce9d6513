// The event's JSON, its id and its sealed form on disk.
#include "line/mes_event.h"

#include <charconv>
#include <mutex>
#include <random>

#include "common/sha256.h"
#include "ledger/operation_record.h"

namespace {

constexpr char kSealMark[] = "VELKORO-MES-EVENT 1 ";
constexpr size_t kMostEventBytes = 64 * 1024;
constexpr char kIdField[] = "{\"event_id\":\"";

std::string TextOrNull(const std::string& text) {
  return text.empty() ? std::string("null") : JsonString(text);
}

}  // namespace

std::string MesEventJson(const MesEvent& e) {
  std::string json = kIdField;
  json += e.eventId + "\"";
  const auto text = [&](const char* name, const std::string& value) {
    json += std::string(",\"") + name + "\":" + TextOrNull(value);
  };
  const auto number = [&](const char* name, const std::string& value) {
    json += std::string(",\"") + name + "\":" + value;
  };
  text("job", e.job);
  text("key_id", e.keyId);
  text("image_sha256", e.imageSha256);
  text("station", e.station);
  number("slot", e.slot < 0 ? "null" : std::to_string(e.slot));
  text("serial", e.serial);
  text("firmware_before", e.firmwareBefore);
  text("firmware_after", e.firmwareAfter);
  number("result", std::to_string(e.result));
  text("message", e.message);
  text("started_utc", e.startedUtc);
  text("ended_utc", e.endedUtc);
  number("attempt", std::to_string(e.attempt));
  text("tool_version", e.toolVersion);
  text("chain", e.chain);
  return json + "}";
}

std::string NewMesEventId() {
  // One generator for the program, seeded once from the system's source:
  // ids only need to be unique, and the system source may be slow.
  static std::mt19937_64 generator = [] {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(), device(), device()};
    return std::mt19937_64(seed);
  }();
  // A tray's probes finish on threads of their own.
  static std::mutex drawing;
  uint64_t drawn[2];
  {
    std::lock_guard<std::mutex> hold(drawing);
    for (uint64_t& bits : drawn) bits = generator();
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string id;
  for (uint64_t bits : drawn) {
    for (int i = 0; i < 16; ++i, bits >>= 4) id += kDigits[bits & 0xF];
  }
  return id.substr(0, 8) + "-" + id.substr(8, 4) + "-" + id.substr(12, 4) + "-" + id.substr(16, 4) +
         "-" + id.substr(20);
}

std::string SealMesEvent(std::string_view body) {
  return kSealMark + std::to_string(body.size()) + " " + Sha256Hex(body) + "\n" + std::string(body);
}

bool UnsealMesEvent(std::string_view bytes, std::string* body) {
  const std::string_view mark = kSealMark;
  if (bytes.substr(0, mark.size()) != mark) return false;
  bytes.remove_prefix(mark.size());
  size_t length = 0;
  const auto [end, failure] = std::from_chars(bytes.data(), bytes.data() + bytes.size(), length);
  if (failure != std::errc() || length > kMostEventBytes) return false;
  bytes.remove_prefix(static_cast<size_t>(end - bytes.data()));
  if (bytes.size() < 66 || bytes[0] != ' ' || bytes[65] != '\n') return false;
  const std::string_view sha = bytes.substr(1, 64);
  const std::string_view rest = bytes.substr(66);
  if (rest.size() != length || Sha256Hex(rest) != sha) return false;
  *body = std::string(rest);
  return true;
}

std::string MesEventIdOf(std::string_view body) {
  const std::string_view field = kIdField;
  if (body.substr(0, field.size()) != field) return {};
  body.remove_prefix(field.size());
  const size_t quote = body.find('"');
  return quote == std::string_view::npos ? std::string() : std::string(body.substr(0, quote));
}
