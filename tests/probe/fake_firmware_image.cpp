// Scripted walkers with the firmware image's signatures.
#include "tests/probe/fake_firmware_image.h"

#include <algorithm>

#include "firmware/firmware_image.h"

namespace {
std::vector<fake_image::Unit> g_units;
size_t g_cursor = 0;
}  // namespace

namespace fake_image {
void SetUnits(std::vector<Unit> units) {
  g_units = std::move(units);
  g_cursor = 0;
}
void Rewind() {
  g_cursor = 0;
}
size_t Cursor() {
  return g_cursor;
}
}  // namespace fake_image

uint32_t NextProgramUnit(uint8_t buffer[kMaxUnitBytes], uint32_t* offset) {
  if (g_cursor >= g_units.size()) return 0;
  const fake_image::Unit& unit = g_units[g_cursor++];
  std::copy(unit.bytes.begin(), unit.bytes.end(), buffer);
  *offset = unit.offset;
  return static_cast<uint32_t>(unit.bytes.size());
}

uint32_t NextReadBackUnit(uint32_t* address) {
  if (g_cursor >= g_units.size()) return 0;
  *address = kReadBackBase + g_units[g_cursor].offset;
  return static_cast<uint32_t>(g_units[g_cursor].bytes.size());
}

bool CompareReadBackUnit(uint32_t length, const uint8_t* data) {
  const fake_image::Unit& unit = g_units.at(g_cursor++);
  return length != unit.bytes.size() || !std::equal(unit.bytes.begin(), unit.bytes.end(), data);
}
