// Discovery: the rule that exactly one device path may open when no index is
// named, written once over the transport's OpenDeviceIndex.
#include "probe/discovery.h"

#include "common/result_codes.h"
#include "probe/transport.h"

namespace {

int Adopt(ProbeLink& link, DeviceHandle device, int index, const ProbeChoice& choice) {
  AdoptDevice(link, device);
  if (choice.opened != nullptr) *choice.opened = index;
  return kResultOk;
}

}  // namespace

int OpenProbe(ProbeLink& link, const ProbeChoice& choice) {
  if (IsProbeOpen(link)) return kResultNoProbe;
  if (choice.index != kAnyProbeIndex) {
    if (choice.index < 0 || choice.index > kHighestDeviceIndex) return kResultNoProbe;
    const DeviceHandle device = OpenDeviceIndex(choice.index);
    if (device == kNoDevice) return kResultNoProbe;
    return Adopt(link, device, choice.index, choice);
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
  if (kept == 1) return Adopt(link, found[0], foundIndex, choice);
  CloseDevice(found[0]);
  CloseDevice(found[1]);
  return kResultSeveralProbes;
}

int OpenProbe(ProbeLink& link) {
  return OpenProbe(link, ProbeChoice{});
}
