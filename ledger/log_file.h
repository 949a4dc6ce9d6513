// The CSV log's file as the store needs it, portable: one locked session per
// decision, reads at an offset, and whole appends flushed to disk. The Win32
// file implements it; the tests an in-memory one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class LogAccess {
  kReady,   // open and locked: the session may read and append
  kHeld,    // another program holds the file (open without sharing, or locked)
  kFailed,  // it cannot be used at all (*error says why)
};

class LogFile {
 public:
  virtual ~LogFile() = default;
  // Opens the file (created when missing) and takes its lock, for one
  // decision; no other session of any program runs until End.
  virtual LogAccess Begin(std::string* error) = 0;
  virtual void End() = 0;
  // In a session: the file's size, bytes from an offset (fewer at its end),
  // and bytes appended at its end and flushed to disk before it returns.
  virtual bool Size(uint64_t* size, std::string* error) = 0;
  virtual bool ReadAt(uint64_t offset, size_t count, std::string* bytes, std::string* error) = 0;
  virtual bool Append(const std::string& bytes, std::string* error) = 0;
};
