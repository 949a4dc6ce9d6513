// One probe's link as a value: whatever the linked transport keeps for an
// open device (opaque here, so this header needs no system headers), the
// last error the transport met, and the firmware version the update check
// read. Whoever runs a probe owns its link and hands it down; nothing
// module-wide remembers a probe, so several links can run side by side.
#pragma once

#include <cstdint>
#include <memory>

// Each transport defines it, and the deleter that releases what it holds
// (an open device is closed, a pending watch ended).
struct TransportLinkState;
struct TransportLinkStateDeleter {
  void operator()(TransportLinkState* state) const;
};

struct ProbeLink {
  // Made by the transport when the link first adopts a device.
  std::unique_ptr<TransportLinkState, TransportLinkStateDeleter> transport;
  // The transport's error code at its last failing call (the system's, where
  // it has one); 0 until then.
  uint32_t lastError = 0;
  // Remembered by the last successful update version check; 0 until then.
  // Below 0x22 the flash is programmed in 128-byte requests.
  uint8_t version = 0;
};
