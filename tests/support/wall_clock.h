// The benchmarks' clock: seconds from the performance counter.
#pragma once

#include <windows.h>

namespace wall_clock {

inline double Seconds() {
  LARGE_INTEGER count, frequency;
  ::QueryPerformanceCounter(&count);
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace wall_clock
