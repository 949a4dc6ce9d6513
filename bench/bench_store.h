// What the store benchmarks share: their serial numbers and write record, a
// waiter that only reports, and a plain stdio file behind the log file's interface for the native
// figures (the Windows figures use the program's own log file).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "ledger/ledger.h"
#include "ledger/log_file.h"
#include "ledger/operation_record.h"

namespace bench_store {

// The benchmarks' serial numbers: SN and seven digits.
inline std::string Serial(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "SN%07d", n);
  return text;
}

// A write that succeeded at device index 0, as the benchmarks record it.
inline OperationRecord WrittenRecord() {
  OperationRecord record;
  record.command = "write-serial";
  record.message = "Writing Serial No. of Velkoro succeeded.";
  record.probe = 0;
  return record;
}

class QuietWaiter : public LedgerWaiter {
 public:
  void Say(const std::string& text) override { std::fputs(text.c_str(), stderr); }
  bool Wait(unsigned) override { return true; }
};

class PlainLogFile : public LogFile {
 public:
  explicit PlainLogFile(std::string path) : path_(std::move(path)) {}
  LogAccess Begin(std::string* error) override {
    file_ = std::fopen(path_.c_str(), "a+b");
    if (file_ == nullptr) {
      *error = "cannot open";
      return LogAccess::kFailed;
    }
    return LogAccess::kReady;
  }
  void End() override {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
  }
  bool Size(uint64_t* size, std::string*) override {
    std::fseek(file_, 0, SEEK_END);
    *size = static_cast<uint64_t>(std::ftell(file_));
    return true;
  }
  bool ReadAt(uint64_t offset, size_t count, std::string* bytes, std::string*) override {
    bytes->assign(count, '\0');
    std::fseek(file_, static_cast<long>(offset), SEEK_SET);
    bytes->resize(std::fread(bytes->data(), 1, count, file_));
    return true;
  }
  bool Append(const std::string& bytes, std::string*) override {
    return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size() &&
           std::fflush(file_) == 0;
  }

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
};

}  // namespace bench_store
