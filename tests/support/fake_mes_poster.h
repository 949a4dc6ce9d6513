// The MES as the native tests script it: each post answered by the next of
// a list of answers (then `afterwards`, 2xx), every post kept in
// order, so the sender's rules are checked without a network.
#pragma once

#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "line/mes_outbox.h"
#include "line/mes_sender.h"

class FakeMesPoster : public MesPoster {
 public:
  std::deque<MesAnswer> answers;
  MesAnswer afterwards{200, ""};
  std::vector<std::string> posted;  // event ids, in the order posted

  MesAnswer Post(const std::string& eventId, const std::string&) override {
    posted.push_back(eventId);
    if (answers.empty()) return afterwards;
    const MesAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

// A fresh folder under the system's temporary one, removed with the object.
class TemporaryFolder {
 public:
  explicit TemporaryFolder(const std::string& name)
      : path_(std::filesystem::temp_directory_path() /
              (name + "-" + std::to_string(reinterpret_cast<uintptr_t>(this)))) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TemporaryFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// An event as a probe's run would leave it, with the id given.
inline MesEvent SampleMesEvent(const std::string& id, const std::string& serial = "SN0001") {
  MesEvent event;
  event.eventId = id;
  event.job = "line3@1a2b3c4d";
  event.station = "ST-1";
  event.slot = 0;
  event.serial = serial;
  event.result = 0;
  return event;
}
