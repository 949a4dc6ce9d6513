// One finished probe as the line's MES receives it, and the form it waits
// in on disk. An outbox file carries its own length and SHA-256 ahead of the
// event, so a file cut by a crash or damaged on disk is told from a whole
// one and never sent half.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct MesEvent {
  // Unique, made once when the event is written: the MES's idempotency key,
  // the same on every retry and after a restart.
  std::string eventId;
  std::string job;    // the job's tag (JobTag)
  std::string keyId;  // the signing key's id; empty for an unsigned job
  std::string imageSha256;
  std::string station;
  int slot = -1;  // the device index the probe was opened at; -1 unknown
  std::string serial;
  std::string firmwareBefore;
  std::string firmwareAfter;
  int result = 0;
  std::string message;
  std::string startedUtc;
  std::string endedUtc;
  int attempt = 1;  // this serial number's how-manieth event, across runs
  std::string toolVersion;
  // The record's chain value, when the record carries one.
  std::string chain;
};

// The event's JSON object, one line, fields in a fixed order; empty texts
// and an unknown slot are null.
std::string MesEventJson(const MesEvent& event);

// A fresh event id: 32 lower-case hexadecimal digits (128 random bits) in
// the 8-4-4-4-12 form.
std::string NewMesEventId();

// The outbox file's bytes: a header line with the body's length and
// SHA-256, then the body.
std::string SealMesEvent(std::string_view body);
// The body of an outbox file's bytes; false when the file is cut, damaged
// or not an outbox file at all.
bool UnsealMesEvent(std::string_view bytes, std::string* body);

// The event id of a sealed body (the first "event_id" of the JSON); empty
// when there is none.
std::string MesEventIdOf(std::string_view body);
