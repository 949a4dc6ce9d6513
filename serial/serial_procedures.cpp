// READ and WRITE: the operator's text is checked before the probe is touched
// and before anything is asked; a failure or a Cancel leaves the text as the
// operator had it.
#include "serial/serial_procedures.h"

#include "common/result_codes.h"
#include "messages/message_catalogue.h"
#include "messages/operator_window.h"
#include "probe/operations.h"
#include "serial/count_up.h"
#include "serial/serial_text.h"

void ReadSerialNo(OperatorWindow& window, ProbeLink& link) {
  window.PullMembers();
  const std::u16string saved = window.SerialNo();
  window.SetControlState(Busy);

  char16_t buffer[kSerialBufferUnits] = {};
  int result = 0;
  if (ReadProbeSerial(link, buffer, &result, window.ChosenProbe()) == 0) {
    // The buffer always ends in a zero unit; the text stops at the first one.
    window.SerialNo() = std::u16string(buffer);
  } else {
    ShowMessage(window, result, CodeKind::kResult);
    window.SerialNo() = saved;
  }

  window.SetControlState(Idle);
  window.PushMembers();
}

SerialWriteOutcome WriteSerialNo(OperatorWindow& window, ProbeLink& link) {
  SerialWriteOutcome outcome;
  window.PullMembers();
  const std::u16string saved = window.SerialNo();
  window.SetControlState(Busy);

  if (int check = CheckSerialText(window.SerialNo()); check != 0) {
    ShowMessage(window, check, CodeKind::kResult);
    window.SerialNo() = saved;
  } else if (ShowMessage(window, kMsgAskWriteSerial, CodeKind::kMessage) == kAnswerOk) {
    int result = 0;
    if (WriteProbeSerial(link, window.SerialNo().c_str(), &result, window.ChosenProbe(),
                         &outcome.requestSent) == 0) {
      ShowMessage(window, kMsgWriteSucceeded, CodeKind::kMessage);
      // Advance only after the operator has seen the number that was written.
      if (window.IsCountUpChecked()) window.SerialNo() = CountUpSerialNo(window.SerialNo());
    } else {
      ShowMessage(window, result, CodeKind::kResult);
      window.SerialNo() = saved;
      outcome.result = result;
    }
  }

  window.SetControlState(Idle);
  window.PushMembers();
  return outcome;
}
