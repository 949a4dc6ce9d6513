// Discovery of the one attached probe: the rule that exactly one device path
// may open, written once over the transport's OpenDeviceIndex.
#include "common/probe_protocol.h"
#include "common/result_codes.h"
#include "probe/transport.h"

namespace {

int g_selectedIndex = kAnyProbeIndex;
int g_openedIndex = kAnyProbeIndex;

int Adopt(DeviceHandle device, int index) {
  AdoptDevice(device);
  g_openedIndex = index;
  return kResultOk;
}

}  // namespace

void SelectProbeIndex(int index) {
  g_selectedIndex = index >= 0 && index < kDeviceIndices ? index : kAnyProbeIndex;
  g_openedIndex = kAnyProbeIndex;
}

int SelectedProbeIndex() {
  return g_selectedIndex;
}

int OpenedProbeIndex() {
  return g_openedIndex;
}

int OpenProbe() {
  if (IsProbeOpen()) return kResultNoProbe;
  g_openedIndex = kAnyProbeIndex;
  if (g_selectedIndex != kAnyProbeIndex) {
    const DeviceHandle device = OpenDeviceIndex(g_selectedIndex);
    if (device == kNoDevice) return kResultNoProbe;
    return Adopt(device, g_selectedIndex);
  }
  // The scan stops at the second probe: what lies beyond is never tried.
  DeviceHandle found[2] = {kNoDevice, kNoDevice};
  int foundIndex = kAnyProbeIndex;
  int kept = 0;
  for (int index = 0; index < kDeviceIndices && kept < 2; ++index) {
    const DeviceHandle device = OpenDeviceIndex(index);
    if (device == kNoDevice) continue;
    if (kept == 0) foundIndex = index;
    found[kept++] = device;
  }
  if (kept == 0) return kResultNoProbe;
  if (kept == 1) return Adopt(found[0], foundIndex);
  CloseDevice(found[0]);
  CloseDevice(found[1]);
  return kResultSeveralProbes;
}
