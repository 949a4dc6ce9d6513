// The probe's seven commands. Each returns 0, 3 (the request could not be
// sent, or no probe is open) or 4 (the reply did not arrive whole and checked).
#pragma once

#include <cstdint>

// Sends the erase request and starts the reply watch that the update polls.
int StartEraseCommand();
