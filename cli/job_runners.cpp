// job new, job check, and the start of run JOB: the job read, its image
// pinned and its store opened before any probe is touched.
#include "cli/job_runners.h"

#include <filesystem>
#include <fstream>

#include "common/file_path.h"
#include "common/result_codes.h"
#include "common/sha256.h"
#include "firmware/firmware_image.h"
#include "firmware/image_report.h"
#include "ledger/log_target.h"
#include "ledger/serial_pool.h"
#include "line/job_load.h"
#include "line/job_run.h"
#include "line/job_trust.h"
#include "line/job_units.h"
#include "line/line_recorder.h"
#include "line/line_status.h"

namespace {

constexpr size_t kMostImageBytes = 64u * 1024 * 1024;

std::string PathText(const std::filesystem::path& path) {
#ifdef _WIN32
  const std::wstring wide = path.wstring();
  return Utf8(std::u16string(wide.begin(), wide.end()));
#else
  return path.string();
#endif
}

// A path the job holds, relative to the job file's folder where it can be,
// so the job, its image and its log travel together.
std::string BesideJob(const std::u16string& job, const std::u16string& path) {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::absolute(ToPath(job), error).parent_path();
  const std::filesystem::path target = std::filesystem::absolute(ToPath(path), error);
  const std::filesystem::path relative = target.lexically_relative(folder);
  return PathText(relative.empty() ? target : relative);
}

int Refuse(RunContext& context, int status, const std::string& message) {
  context.progress.End();
  context.io.Err("ERROR: " + message + "\n");
  return status;
}

}  // namespace

std::string ShownLog(const std::string& log) {
  return ParseLogTarget(log).shown;
}

int RunJobNew(RunContext& context) {
  const CliOptions& options = context.options;
  if (!options.image && !options.serials) {
    return Refuse(context, kExitUsage, "job new needs --image, --serials or both");
  }
  if (options.logPath.empty()) {
    return Refuse(context, kExitUsage, "job new needs --log: every job keeps its record");
  }
  LineJob job;
  const std::u16string& path = options.argument;
  const std::filesystem::path target = ToPath(path);
  job.name = options.name.value_or(PathText(target.stem()));
  if (options.image) {
    std::string bytes;
    if (!ReadFileBytes(*options.image, kMostImageBytes, &bytes)) {
      return Refuse(context, kResultNoFile,
                    "the image " + Utf8(*options.image) + " cannot be read");
    }
    FirmwareImage image;
    if (const int checked = CheckFirmwareFile(*options.image, &image); checked != kResultOk) {
      return Refuse(
          context, checked,
          "the image " + Utf8(*options.image) + " is not a firmware file the probe can take");
    }
    job.image = BesideJob(path, *options.image);
    job.imageSha256 = Sha256Hex(bytes);
    job.imageCrc32 = ReportFirmwareImage(image).crc32;
    job.update = true;
  }
  job.expectVersion = options.expectVersion;
  const std::string log = Utf8(options.logPath);
  job.log = ParseLogTarget(log).kind == LogKind::kDatabase ? log : BesideJob(path, options.logPath);
  job.led = options.led == LedMode::kSkip ? JobLed::kSkip : JobLed::kAsk;
  job.resetTimeoutSeconds = options.resetTimeoutSeconds;
  std::string why;
  if (options.serials &&
      !ParseSerialRange(*options.serials, &job.serialFirst, &job.serialLast, &why)) {
    return Refuse(context, kExitUsage, "--serials: " + why);
  }
  if (options.steps && !ParseJobSteps(*options.steps, &job.update, &job.writeSerial, &why)) {
    return Refuse(context, kExitUsage, "--steps: " + why);
  }
  if (!options.steps) job.writeSerial = options.serials.has_value();
  // The text is read back as a station will read it: what it refuses is
  // refused here, before the file exists.
  const std::string text = FormatLineJob(job);
  LineJob parsed;
  JobProblem problem;
  if (!ParseLineJob(text, Utf8(path), Sha256Hex(text), &parsed, &problem)) {
    return Refuse(context, kExitUsage,
                  "the job would not be usable: " + problem.key + ": " + problem.reason);
  }
  std::error_code error;
  if (std::filesystem::exists(std::filesystem::symlink_status(target, error))) {
    return Refuse(context, kExitCannotCreate,
                  Utf8(path) + " is there already: a job file is never replaced");
  }
  std::ofstream out(target, std::ios::binary);
  out << text;
  out.close();
  if (!out) return Refuse(context, kExitCannotCreate, Utf8(path) + " cannot be written");
  context.io.Err("The job " + parsed.name + " is written to " + Utf8(path) + ".\n");
  return kExitOk;
}

int RunJobCheck(RunContext& context, LedgerOpener& ledgers, LedgerWaiter& waiter) {
  ConsoleIo& io = context.io;
  std::unique_ptr<JobRun> run;
  std::string message;
  if (JobRun::Open(context.options.argument, &run, &message) != 0) {
    return Refuse(context, kExitJobUnusable, message);
  }
  const LineJob& job = run->job();
  int status = kExitOk;
  const auto problem = [&](int code, const std::string& text) {
    io.Err("ERROR: " + text + "\n");
    if (status == kExitOk) status = code;
  };
  const JobTrust trust = DecideJobTrust(job, context.trust ? *context.trust : JobTrustContext{});
  if (!Authorized(trust)) problem(kExitNotAuthorized, DescribeRefusal(job, trust));
  const bool signedJob = job.signature.has_value();
  std::string imageState = "none";
  if (!job.image.empty()) {
    const int image = run->Pin(&message);
    imageState = image == 0 ? "equal" : image == kImageNotPinned ? "different" : "unreadable";
    if (image != 0) problem(image, message);
  }
  std::string logState = "reachable";
  std::optional<std::string> next;
  int written = 0, spent = 0, claimed = 0;
  std::string error;
  std::unique_ptr<Ledger> ledger = ledgers.Open(FromUtf8(job.log), waiter, &error);
  std::vector<SerialEntry> entries;
  if (!ledger || !ledger->Entries(&entries, &error) ||
      !NextFreeInRange(*ledger, job, &next, &error)) {
    logState = "unusable";
    problem(kExitLogFailed,
            "the log cannot be used: " + (ledger ? ledger->Where() : ShownLog(job.log)) + " (" +
                error + ")");
  }
  SerialPool pool;
  for (const SerialEntry& entry : entries) pool.Apply(entry);
  for (const SerialEntry& entry : pool.Entries()) {
    if (!InJobRange(job, entry.serial)) continue;
    written += entry.state == SerialState::kWritten;
    spent += entry.state == SerialState::kSpent;
    claimed += entry.state == SerialState::kClaimed;
  }
  const UnitCounts units = JobUnitCounts(job, entries);
  const uint64_t size = JobRangeSize(job);
  const uint64_t held = static_cast<uint64_t>(written + spent + claimed);
  const bool counted = logState == "reachable";
  const auto count = [&](uint64_t n) { return counted ? std::to_string(n) : std::string("null"); };
  const std::string free = count(size >= held ? size - held : 0);
  const std::string steps = std::string(job.update ? "update" : "") +
                            (job.update && job.writeSerial ? "," : "") +
                            (job.writeSerial ? "write-serial" : "");
  const std::string range = job.serialFirst.empty() ? "" : job.serialFirst + "-" + job.serialLast;
  if (context.options.json) {
    std::string json =
        "{\"job\":" + JsonString(job.path) + ",\"name\":" + JsonString(job.name) +
        ",\"tag\":" + JsonString(JobTag(job)) + ",\"image\":" + JsonString(job.image) +
        ",\"image_state\":" + JsonString(imageState) +
        ",\"image_sha256\":" + JsonString(job.imageSha256) +
        ",\"image_crc32\":" + JsonString(job.image.empty() ? "" : Hex32(job.imageCrc32)) +
        ",\"expect_version\":" + JsonString(job.expectVersion.value_or("")) +
        ",\"serials\":" + JsonString(range) + ",\"log\":" + JsonString(ShownLog(job.log)) +
        ",\"log_state\":" + JsonString(logState) + ",\"steps\":" + JsonString(steps) +
        ",\"range_size\":" + std::to_string(size) + ",\"written\":" + count(written) +
        ",\"spent\":" + count(spent) + ",\"claimed\":" + count(claimed) + ",\"free\":" + free +
        ",\"next\":" + (next ? JsonString(*next) : "null") +
        ",\"signed_by\":" + (signedJob ? JsonString(job.signature->keyId) : "null") +
        ",\"signed_utc\":" + (signedJob ? JsonString(job.signature->signedUtc) : "null") +
        ",\"trusted\":" + (trust.reason == TrustReason::kTrusted ? "true" : "false") +
        ",\"trust\":" + JsonString(TrustReasonWord(trust.reason)) +
        ",\"trusted_keys\":" + std::to_string(trust.trustedKeys) +
        ",\"valid_until\":" + (job.validUntil ? JsonString(*job.validUntil) : "null") +
        ",\"units\":" + (job.units ? std::to_string(*job.units) : "null") +
        ",\"units_made\":" + (job.units ? count(units.made) : "null") +
        ",\"units_held\":" + (job.units ? count(units.held) : "null") +
        ",\"units_left\":" + (job.units ? count(units.Left()) : "null") +
        ",\"result\":" + std::to_string(status) + "}\n";
    io.Out(json);
    return status;
  }
  std::string text = "job: " + job.path + "\nname: " + job.name + "\ntag: " + JobTag(job) + "\n";
  if (!job.image.empty()) {
    text += "image: " + job.image + " (" + imageState + ")\nimage_sha256: " + job.imageSha256 +
            "\nimage_crc32: " + Hex32(job.imageCrc32) + "\n";
  }
  if (job.expectVersion) text += "expect_version: " + *job.expectVersion + "\n";
  text += "log: " + ShownLog(job.log) + " (" + logState + ")\nsteps: " + steps + "\n";
  text += "signed_by: " +
          (signedJob ? job.signature->keyId + " (signed " + job.signature->signedUtc + ")"
                     : std::string("none")) +
          "\ntrust: " +
          (trust.reason == TrustReason::kTrusted ? "trusted on this PC"
           : trust.reason == TrustReason::kNoKeysHere
               ? "no key is trusted on this PC: any job runs"
               : std::string("refused (") + TrustReasonWord(trust.reason) + ")") +
          "\n";
  if (job.validUntil) text += "valid_until: " + *job.validUntil + "\n";
  if (job.units) {
    text += "units: " + std::to_string(*job.units) +
            (counted ? " (" + count(units.made) + " made, " + count(units.held) + " held, " +
                           count(units.Left()) + " left)"
                     : std::string()) +
            "\n";
  }
  if (!range.empty()) text += "serials: " + range + " (" + std::to_string(size) + " numbers)\n";
  // Counts of a store that could not be read would say what no one knows.
  if (!range.empty() && counted) {
    text += "written: " + count(written) + "\nspent: " + count(spent) +
            "\nclaimed: " + count(claimed) + "\nfree: " + free +
            "\nnext: " + next.value_or("none") + "\n";
  }
  io.Out(text);
  return status;
}

int PinJobImage(RunContext& context, JobRun& run) {
  const double started = context.io.Seconds();
  std::string message;
  const int pinned = run.Pin(&message);
  if (pinned == kExitOk) return kExitOk;
  // Recorded as the update that never started: the record says why the
  // line stopped, and no probe was touched.
  const LineJob& job = run.job();
  OperationRecord record;
  record.command = CommandName(CliCommand::kUpdate);
  record.file = job.image;
  record.result = pinned;
  record.message = message + " No probe was touched.";
  context.progress.End();
  context.io.Err("ERROR: " + record.message + "\n");
  FinishRecord(context, record, started);
  return record.result;
}
