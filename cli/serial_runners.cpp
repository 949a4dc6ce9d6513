// list, read-serial, write-serial and serials. READ and WRITE are the
// window's own procedures run over the console window; list looks at each
// device path; serials reports the log's pool and touches no probe.
#include <optional>

#include "cli/console_window.h"
#include "cli/presence_wait.h"
#include "cli/runner_support.h"
#include "cli/runners.h"
#include "firmware/probe_session.h"
#include "ledger/serial_pool.h"
#include "ledger/unit_series.h"
#include "messages/message_catalogue.h"
#include "probe/operations.h"
#include "probe/probe_survey.h"
#include "serial/serial_procedures.h"

namespace {

// The layout of list's JSON objects; it grows only by fields added.
constexpr int kListSchema = 1;

OperationRecord NewRecord(const RunContext& context) {
  OperationRecord record;
  record.command = CommandName(context.options.command);
  if (context.options.probe >= 0) record.probe = context.options.probe;
  return record;
}

void ReportProbeFailure(RunContext& context, int index, int code) {
  context.progress.End();
  context.io.Err("ERROR: probe " + std::to_string(index) + ": " +
                 ConsoleText(ChooseMessage(code, CodeKind::kResult).text) + "\n");
}

// What list shows instead of a serial number, in its text and its JSON.
const char* SerialMark(SurveyedSerial state) {
  return state == SurveyedSerial::kTooOld ? "-" : "?";
}

const char* SerialStateName(SurveyedSerial state) {
  switch (state) {
    case SurveyedSerial::kRead:
      return "read";
    case SurveyedSerial::kTooOld:
      return "firmware too old";
    case SurveyedSerial::kUnreadable:
    case SurveyedSerial::kNotRead:
      break;
  }
  return "unreadable";
}

// A number's state as the report words it: a spent number whose write
// failed is told apart from one whose outcome is unknown.
// A cell of the pool as one line of text, whatever a database row holds:
// line breaks as the log writes them (\r, \n), any other control character
// as \xHH, so no row can move the terminal's cursor or forge a line.
std::string OneLineText(const std::string& cell) {
  std::string text;
  for (char c : cell) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (byte < 0x20 || byte == 0x7F) {
      constexpr char kHex[] = "0123456789ABCDEF";
      text += std::string("\\x") + kHex[byte >> 4] + kHex[byte & 0x0F];
    } else {
      text += c;
    }
  }
  return text;
}

// The pool's words for an unknown outcome are these exit statuses.
static_assert(kOutcomeNotRecorded == kExitLogFailed && kOutcomeStopped == kExitInterrupted);

}  // namespace

int RunList(RunContext& context) {
  int first = context.options.probe >= 0 ? context.options.probe : 0;
  int last = context.options.probe >= 0 ? context.options.probe : kHighestDeviceIndex;
  if (context.options.probeSerial) {
    const double started = context.io.Seconds();
    ConsoleWindow window(context.io, context.progress, nullptr, false);
    if (ChooseProbe(context.session->link, context.options, window) != kResultOk) {
      OperationRecord record = NewRecord(context);
      TakeOutcome(window, context.io, record);
      FinishRecord(context, record, started);
      return record.result;
    }
    first = last = window.ChosenProbe().index;
  }
  int listed = 0;
  for (int index = first; index <= last && !context.io.Interrupted(); ++index) {
    const double started = context.io.Seconds();
    ProbeSurvey survey;
    const int code = SurveyProbe(context.session->link, index, &survey);
    if (code == kResultNoProbe) continue;
    ++listed;
    OperationRecord record = NewRecord(context);
    record.probe = index;
    record.result = code;
    record.message = code == 0 ? "" : OneLine(ChooseMessage(code, CodeKind::kResult).text);
    record.schema = kListSchema;
    record.device = DevicePathOf(index);
    if (survey.versionRead) record.firmwareBefore = ProbeVersionText(survey.version);
    if (survey.serialState == SurveyedSerial::kRead) record.serial = Utf8(survey.serial);
    record.serialState = SerialStateName(survey.serialState);
    if (code != 0) ReportProbeFailure(context, index, code);
    if (!context.options.json) {
      // The serial number is the rest of the line: it may hold blanks.
      context.io.Out(std::to_string(index) + " " + record.firmwareBefore.value_or("?") + " " +
                     record.serial.value_or(SerialMark(survey.serialState)) + "\n");
    }
    FinishRecord(context, record, started);
  }
  if (listed > 0) return kExitOk;
  const double started = context.io.Seconds();
  OperationRecord record = NewRecord(context);
  record.result = kResultNoProbe;
  record.message = OneLine(ChooseMessage(kResultNoProbe, CodeKind::kResult).text);
  context.progress.End();
  context.io.Err("ERROR: " + ConsoleText(ChooseMessage(kResultNoProbe, CodeKind::kResult).text) +
                 "\n");
  FinishRecord(context, record, started);
  return record.result;
}

int RunReadSerial(RunContext& context) {
  RunnerFrame frame(context);
  ConsoleWindow& window = frame.window();
  OperationRecord& record = frame.record();
  ProbeLink& link = context.session->link;
  if (!context.io.Interrupted() && ChooseProbe(link, context.options, window) == kResultOk) {
    ReadSerialNo(window, link);
  }
  frame.TakeOutcome();
  if (record.result == kExitOk) {
    record.serial = Utf8(window.SerialNo());
    if (!context.options.json) context.io.Out(*record.serial + "\n");
  }
  return frame.Finish();
}

int RunWriteSerial(RunContext& context) {
  RunnerFrame frame(context, context.answeredBy, context.options.countUp);
  ConsoleWindow& window = frame.window();
  OperationRecord& record = frame.record();
  record.serial = Utf8(context.options.argument);
  window.SerialNo() = context.options.argument;
  window.ChooseProbe(context.options.probe);
  const bool ran = !context.io.Interrupted();
  // The claim is settled by whether this write's request left the program.
  if (ran) context.writeRequestSent = WriteSerialNo(window, context.session->link).requestSent;
  context.agreed = window.agreed();
  frame.TakeOutcome();
  if (record.result == kExitOk && context.options.countUp) {
    // The window keeps the number when it cannot count up: then there is
    // no next one.
    const std::string next = Utf8(window.SerialNo());
    if (next != *record.serial) record.next = next;
    if (!context.options.json && !context.inStation)
      context.io.Out(NextLine(*record.serial, record.next));
  }
  // A verified write is whole: the number is on the probe, and the record
  // must say so even when Ctrl+C came meanwhile.
  return frame.Finish(ran && record.result == kExitOk);
}

int RunSerials(RunContext& context) {
  ConsoleIo& io = context.io;
  Ledger& ledger = *context.ledger;
  std::vector<SerialEntry> entries;
  std::string error;
  if (!ledger.Entries(&entries, &error)) {
    OperationRecord record = NewRecord(context);
    record.result = kExitLogFailed;
    record.message =
        "The numbers could not be read in the log " + ledger.Where() + " (" + error + ").";
    io.Err("ERROR: " + record.message + "\n");
    if (context.options.json) io.Out(FormatJson(record) + "\n");
    return record.result;
  }
  SerialPool pool;
  for (const SerialEntry& entry : entries) {
    // A job's units hold no probe's number: job check and report --job count them.
    if (IsUnitSerial(entry.serial)) continue;
    const std::string state = ReportedState(entry);
    if (context.options.json) {
      std::string json =
          "{\"serial\":" + JsonString(entry.serial) + ",\"state\":" + JsonString(state) +
          ",\"station\":" + JsonString(entry.station) + ",\"time\":" + JsonString(entry.timeUtc);
      if (entry.result) json += ",\"result\":" + std::to_string(*entry.result);
      io.Out(json + ",\"message\":" + JsonString(entry.message) + "}\n");
    } else {
      io.Out(OneLineText(entry.serial) + " " + state + " " +
             (entry.station.empty() ? "-" : OneLineText(entry.station)) + " " +
             (entry.timeUtc.empty() ? "-" : OneLineText(entry.timeUtc)) + "\n");
    }
    pool.Apply(entry);
  }
  if (context.options.argument.empty()) return kExitOk;
  const std::string start = Utf8(context.options.argument);
  const std::optional<std::string> next = pool.NextFree(start);
  if (!next) {
    io.Err("No number is free counting up from " + start + ".\n");
    return kExitAlreadyWritten;
  }
  if (context.options.json) {
    OperationRecord record = NewRecord(context);
    record.serial = start;
    record.next = *next;
    io.Out(FormatJson(record) + "\n");
  } else {
    io.Out("next: " + *next + "\n");
  }
  return kExitOk;
}
