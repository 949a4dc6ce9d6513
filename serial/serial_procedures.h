// READ and WRITE of the probe's serial number, as the window's buttons run
// them: check the operator's text, ask, call the probe operation, report.
#pragma once

class OperatorWindow;

void ReadSerialNo(OperatorWindow& window);
void WriteSerialNo(OperatorWindow& window);
