// The MES receiver (tests/support/mes_receiver.py, Python 3's http.server)
// started by a Windows test under Wine on 127.0.0.1 and stopped by it. Wine
// starts the host's python3 through `start /unix`; the test and the
// receiver meet in a folder: the receiver writes its port there and one
// line per request, and stops when the test writes `stop`. Every wait is
// capped.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/process_launch.h"
#include "tests/support/test_files.h"

namespace mes_receiver {

inline constexpr DWORD kReadyWaitMs = 20000;
inline constexpr DWORD kStopWaitMs = 20000;
inline constexpr DWORD kLookMs = 50;

// One request as the receiver noted it.
struct Post {
  std::string eventId;
  std::string status;  // 201, 200 (a repeat), 500 ..., closed, slow, garbage
  std::string token;   // "-": none
};

// The host's path of a Windows path, as Wine maps it.
inline std::string UnixPath(const std::wstring& path) {
  using ToUnix = char*(CDECL*)(LPCWSTR);
  // Through void*: a FARPROC is cast to the function's own type.
  const auto toUnix = reinterpret_cast<ToUnix>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (toUnix == nullptr) return "";
  char* unix = toUnix(path.c_str());
  if (unix == nullptr) return "";
  std::string text = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return text;
}

class Receiver {
 public:
  // folder: the meeting folder (made); script: mes_receiver.py's host path.
  Receiver(std::wstring folder, std::string script)
      : folder_(std::move(folder)), script_(std::move(script)) {
    CreateDirectoryW(folder_.c_str(), nullptr);
    // What an earlier run of the test received is not this run's.
    for (const wchar_t* file : {L"\\posts.txt", L"\\chains.txt"}) {
      DeleteFileW((folder_ + file).c_str());
    }
  }
  ~Receiver() { Stop(); }

  // Starts it on port (0: a free one) with faults ("500,429,slow,close,garbage");
  // false when it did not listen within kReadyWaitMs.
  bool Start(int port, const std::string& faults = "") {
    DeleteFileW((folder_ + L"\\stop").c_str());
    DeleteFileW((folder_ + L"\\port").c_str());
    // start.exe hands its arguments to the host as they are: no quotes, so
    // the paths must hold no blanks (the build's never do).
    const std::string command = "start.exe /unix /usr/bin/python3 " + script_ + " --port " +
                                std::to_string(port) + " --dir " + UnixPath(folder_) +
                                (faults.empty() ? "" : " --faults " + faults);
    test_process::Child start;
    if (!start.Start(std::wstring(command.begin(), command.end()))) return false;
    start.End(kReadyWaitMs);
    for (DWORD waited = 0; waited < kReadyWaitMs; waited += kLookMs) {
      const std::string text = test_files::ReadWholeFile(folder_ + L"\\port");
      if (!text.empty()) {
        port_ = std::stoi(text);
        running_ = true;
        return true;
      }
      Sleep(kLookMs);
    }
    return false;
  }

  // Stops it and waits until it no longer listens; true once it is down.
  bool Stop() {
    if (!running_) return true;
    std::ofstream(std::filesystem::path(folder_ + L"\\stop")) << "stop";
    for (DWORD waited = 0; waited < kStopWaitMs; waited += kLookMs) {
      if (GetFileAttributesW((folder_ + L"\\port").c_str()) == INVALID_FILE_ATTRIBUTES) {
        running_ = false;
        return true;
      }
      Sleep(kLookMs);
    }
    return false;
  }

  int port() const { return port_; }

  std::vector<Post> Posts() const {
    std::vector<Post> posts;
    std::istringstream lines(test_files::ReadWholeFile(folder_ + L"\\posts.txt"));
    Post post;
    while (lines >> post.eventId >> post.status >> post.token) posts.push_back(post);
    return posts;
  }

  // How many times each event id was taken as new (201).
  std::map<std::string, int> Taken() const {
    std::map<std::string, int> taken;
    for (const Post& post : Posts()) {
      if (post.status == "201") ++taken[post.eventId];
    }
    return taken;
  }

 private:
  std::wstring folder_;
  std::string script_;
  int port_ = 0;
  bool running_ = false;
};

}  // namespace mes_receiver
