// Discovery of the probe to open among the device paths: the one-probe rule
// the window relies on, or the one device index a front-end names. Written
// once over the transport's OpenDeviceIndex.
#pragma once

#include "common/probe_choice.h"
#include "probe/probe_link.h"

// 0: the chosen probe is now the open probe handle (its index written where
// choice.opened points). 1: it could not be opened (with any index: none
// opens), or the link already had a probe handle open (left untouched). 2: with any
// index, more than one path opens (none is kept open).
int OpenProbe(ProbeLink& link, const ProbeChoice& choice);
// The window's rule: exactly one attached probe.
int OpenProbe(ProbeLink& link);
