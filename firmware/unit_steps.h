// The update's two unit steps: each takes the next transfer unit from the
// firmware image and hands it to the probe. They return 0, or 1 with the
// result code written into *result; with no unit left (or no image) they
// succeed without any exchange.
#pragma once

struct ProbeSession;

// Programs the unit at the session's cursor over its link and moves the
// cursor past it.
int ProgramNextUnit(ProbeSession& session, int* result);
// Reads the unit at the cursor back from the probe and compares it with the
// image; the cursor moves past the unit once the bytes have been compared.
int VerifyNextUnit(ProbeSession& session, int* result);
