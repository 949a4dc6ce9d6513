// The transport's part of putting the probe link back as it is when the
// program starts (no probe handle, an open one closed; no reply watch). Each
// transport defines it; ResetProbeLinkForTests (operations.h) calls it.
#pragma once

void ResetTransportForTests();
