// Which probe an operation opens, handed down by value from a front-end to
// the operations and discovery: one device index, or whichever one probe is
// attached (the window's rule). The operation that opens a probe writes the
// index it opened to where the choice points, so the front-end learns it
// without reading any state back.
#pragma once

#include "common/probe_protocol.h"

struct ProbeChoice {
  int index = kAnyProbeIndex;  // 0 to 255, or kAnyProbeIndex
  int* opened = nullptr;       // when given: receives the device index opened
};
