// Opening a job's run: the job read, whether this PC may run it, and its
// image pinned, each before any probe or store is touched.
#include <memory>

#include "common/result_codes.h"
#include "common/sha256.h"
#include "firmware/firmware_image.h"
#include "firmware/image_report.h"
#include "line/job_load.h"
#include "line/job_run.h"
#include "line/line_status.h"

int JobRun::Open(const std::u16string& path, std::unique_ptr<JobRun>* run, std::string* message) {
  std::unique_ptr<JobRun> opened(new JobRun());
  if (LoadLineJob(path, &opened->job_, message) != 0) return kJobUnusable;
  *run = std::move(opened);
  return 0;
}

int JobRun::Authorize(const JobTrustContext& context, JobTrust* trust, std::string* message) {
  return AuthorizeJob(&job_, context, trust, message);
}

int JobRun::Pin(std::string* message) {
  image_.reset();
  if (job_.image.empty()) return 0;
  // Read once: these bytes are hashed, parsed and programmed; the file is
  // not looked at again, so an image swapped after this cannot be written.
  std::string bytes;
  if (!ReadFileBytes(FromUtf8(job_.image), static_cast<size_t>(kLargestFirmwareFileBytes),
                     &bytes)) {
    *message = "The job's image " + job_.image + " cannot be read.";
    return kResultNoFile;
  }
  const std::string sha = Sha256Hex(bytes);
  if (sha != job_.imageSha256) {
    *message = "The image " + job_.image + " is not the job's: its SHA-256 is " + sha +
               ", the job pins " + job_.imageSha256 + ".";
    return kImageNotPinned;
  }
  auto image = std::make_shared<FirmwareImage>();
  const FirmwareReadStatus read =
      image->Read(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  if (read.sizeError || read.formatError) {
    *message = "The job's image " + job_.image + " is not a firmware file the probe can take.";
    return read.sizeError ? kResultSpanTooLarge : kResultNotSRecord;
  }
  const uint32_t crc = ReportFirmwareImage(*image).crc32;
  if (crc != job_.imageCrc32) {
    *message = "The image " + job_.image + " is not the job's: its CRC-32 is " + Hex32(crc) +
               ", the job pins " + Hex32(job_.imageCrc32) + ".";
    return kImageNotPinned;
  }
  image_ = std::move(image);
  return 0;
}
