#pragma once
#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

// What this host process holds, to compare after many views with what it held
// after the first few.
struct HostResources {
  DWORD Handles = 0;
  size_t Windows = 0;
  size_t PrivateBytes = 0;  // committed memory of this process alone
  size_t HeapBytes = 0;     // in heap blocks in use, the finer measure of a leak
  size_t Threads = 0;
};

HostResources MeasureHost();

// The host after the first |warmUpCycles| calls of |cycle| (numbered from 1), and
// after all |cycles| of them; how long they all took.
struct CycleResources {
  HostResources Warm;
  HostResources After;
  double Seconds = 0;
};
CycleResources MeasureCycles(int warmUpCycles, int cycles, const std::function<void(int)>& cycle);

// Prints one row ("WHEN: handles H, windows W, ...") and records each figure in the
// test report as "handles_SUFFIX", "private_kib_SUFFIX", ...
void ReportResources(const std::string& when, const std::string& suffix, const HostResources& resources);

// The host after |laterCycles| more views as it was after the warm-up (|warm|).
void ExpectHostAsWarm(const HostResources& warm, const HostResources& after, int laterCycles);
