#pragma once
#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

// What this host process holds, for tests that check that the plugin gives back
// all it takes. The system's thread pool starts and retires threads of its own
// on its own clock (a thread the plugin's reading of a player's output ran on
// retires a few seconds after its last callback); such threads are counted
// apart, and no thread's stack, alive or ended, is counted as the process's
// memory, so that a comparison can wait for the pool to settle and then measure
// only what is ours.
struct HostResources {
  DWORD Handles = 0;
  size_t Windows = 0;
  size_t PrivateBytes = 0;  // committed memory of this process alone, threads' stacks and blocks aside
  size_t HeapBytes = 0;     // in heap blocks in use, the finer measure of a leak
  size_t Threads = 0;       // threads this program started, the main one among them
  size_t PoolThreads = 0;   // threads the system started (its thread pool's)
};

HostResources MeasureHost();

// Measures once the thread pool runs no more threads than it did for |reference|
// (it retires idle ones after a few seconds); if it never does within the bound,
// measures anyway, and the comparison shows the threads that stayed.
HostResources MeasureHostSettledLike(const HostResources& reference);

// The host after the first |warmUpCycles| calls of |cycle| (numbered from 1), and
// after all |cycles| of them, settled like the first; how long they all took. The
// caller keeps the pool waiting throughout (HostTest::KeepPoolWaiting), so that
// its waiting thread and that thread's event are there both times.
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

// Whether every heap of the process passes the system's check: a block freed twice,
// or written after its free, fails it.
bool AllHeapsValid();
