// What the console program tells about a firmware file beside the reader's
// verdict: whether it ends in an end record (S7, S8 or S9), so a file cut
// short shows, and whether data records overlap, with the same or with
// different data. The reader itself (and so the window) takes such files as
// they are; this only looks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct SRecordShape {
  bool endRecord = false;       // an S7, S8 or S9 record is present
  bool overlap = false;         // some byte is named by two data records
  bool overlapDiffers = false;  // and they give it different values
};

// Over the bytes of a file the reader accepted (records framed as it frames
// them; for data spanning more than the firmware image, overlaps are not
// looked for).
SRecordShape ScanSRecordShape(const uint8_t* bytes, size_t length);
// The same over the file at path; false when it cannot be read whole.
bool ScanFirmwareFileShape(const std::u16string& path, SRecordShape* shape);
