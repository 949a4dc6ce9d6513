// Puts the probe link back as it is when the program starts: no probe handle
// (an open one is closed), no reply watch, g_probeVersion 0. For tests.
#pragma once

void ResetProbeLinkForTests();
// The transport's part of it; each transport implementation defines it.
void ResetTransportForTests();
