// One probe's whole state while a program works on it: its link, the image
// it is updated or verified with and the walk over that image, and the
// update's steps. Whoever runs the probe owns the session and hands it down,
// so probes on several threads never share one.
#pragma once

#include <memory>

#include "firmware/firmware_image.h"
#include "firmware/update_procedure.h"
#include "probe/probe_link.h"

struct ProbeSession {
  ProbeLink link;
  // Shared with other sessions when it was read once for all of them.
  std::shared_ptr<const FirmwareImage> image;
  // The caller read and checked the image (a line job's pinned bytes): an
  // update then reads no file.
  bool imagePinned = false;
  ImageCursor cursor;
  UpdateSteps update;
};
