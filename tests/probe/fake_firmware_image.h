// A scripted stand-in for the firmware image's walkers, so the unit steps can
// be given units the image itself never forms (a 300-byte unit, say).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fake_image {

struct Unit {
  uint32_t offset;
  std::vector<uint8_t> bytes;
};

void SetUnits(std::vector<Unit> units);
void Rewind();
// How many units the walkers have moved past.
size_t Cursor();

}  // namespace fake_image
