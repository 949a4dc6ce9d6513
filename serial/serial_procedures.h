// READ and WRITE of the probe's serial number, as the window's buttons run
// them: check the operator's text, ask, call the probe operation, report.
#pragma once

#include "probe/probe_link.h"

class OperatorWindow;

// What WRITE did, for a caller that keeps the line's pool: the result code
// it reported (0 also when the question was declined or the text refused),
// and whether its write request was handed to the transport.
struct SerialWriteOutcome {
  int result = 0;
  bool requestSent = false;
};

// Each opens the window's chosen probe on the link and closes it again.
void ReadSerialNo(OperatorWindow& window, ProbeLink& link);
SerialWriteOutcome WriteSerialNo(OperatorWindow& window, ProbeLink& link);
