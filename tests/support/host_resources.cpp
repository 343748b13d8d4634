#include "host_resources.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "test_workspace.h"

namespace {

// Every window of this process, top-level and child.
size_t WindowCount() {
  struct Counter {
    size_t Count = 0;
    static BOOL CALLBACK Child(HWND window, LPARAM self) {
      DWORD process = 0;
      GetWindowThreadProcessId(window, &process);
      if (process == GetCurrentProcessId()) ++reinterpret_cast<Counter*>(self)->Count;
      return TRUE;
    }
    static BOOL CALLBACK TopLevel(HWND window, LPARAM self) {
      Child(window, self);
      EnumChildWindows(window, Child, self);
      return TRUE;
    }
  } counter;
  EnumWindows(Counter::TopLevel, reinterpret_cast<LPARAM>(&counter));
  return counter.Count;
}

// Wine reports no private usage in the process counters, so the address space is walked instead.
size_t CommittedPrivateBytes() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION region{};
  for (const char* address = nullptr;
       VirtualQuery(address, &region, sizeof(region)) == sizeof(region) && region.RegionSize > 0;
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
  }
  return total;
}

size_t HeapBytesInUse() {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  size_t total = 0;
  for (HANDLE heap : heaps) {
    if (!HeapLock(heap)) continue;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heap, &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
    }
    HeapUnlock(heap);
  }
  return total;
}

// Other threads (the test's message-box watcher, Wine's own) hold short-lived
// blocks now and then; the least of a few looks is what stays.
size_t SettledHeapBytesInUse() {
  size_t least = HeapBytesInUse();
  for (int look = 0; look < 5; ++look) {
    Sleep(20);
    least = std::min(least, HeapBytesInUse());
  }
  return least;
}

size_t ThreadCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  size_t count = 0;
  THREADENTRY32 thread{};
  thread.dwSize = sizeof(thread);
  for (BOOL found = Thread32First(snapshot, &thread); found; found = Thread32Next(snapshot, &thread)) {
    if (thread.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

}  // namespace

HostResources MeasureHost() {
  return {HandleCount(), WindowCount(), CommittedPrivateBytes(), SettledHeapBytesInUse(), ThreadCount()};
}

CycleResources MeasureCycles(int warmUpCycles, int cycles, const std::function<void(int)>& cycle) {
  CycleResources measured;
  const ULONGLONG start = GetTickCount64();
  for (int i = 1; i <= warmUpCycles; ++i) cycle(i);
  measured.Warm = MeasureHost();
  for (int i = warmUpCycles + 1; i <= cycles; ++i) cycle(i);
  measured.After = MeasureHost();
  measured.Seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
  return measured;
}

void ReportResources(const std::string& when, const std::string& suffix, const HostResources& resources) {
  std::printf("%-18s handles %lu, windows %zu, private memory %zu KiB, heap in use %zu bytes, threads %zu\n",
              (when + ":").c_str(), static_cast<unsigned long>(resources.Handles), resources.Windows,
              resources.PrivateBytes / 1024, resources.HeapBytes, resources.Threads);
  ::testing::Test::RecordProperty("handles_" + suffix, static_cast<int>(resources.Handles));
  ::testing::Test::RecordProperty("private_kib_" + suffix, static_cast<int>(resources.PrivateBytes / 1024));
  ::testing::Test::RecordProperty("heap_bytes_" + suffix, static_cast<int>(resources.HeapBytes));
  ::testing::Test::RecordProperty("threads_" + suffix, static_cast<int>(resources.Threads));
}

void ExpectHostAsWarm(const HostResources& warm, const HostResources& after, int laterCycles) {
  EXPECT_EQ(after.Handles, warm.Handles);
  EXPECT_EQ(after.Windows, warm.Windows);
  // The test's own bookkeeping may differ by a few bytes (the names of its players'
  // log folders gain a digit), and the process may commit one more 64 KiB run once
  // (seen in the 32-bit lane); a page leaked per cycle outgrows that within 17
  // cycles, and a block leaked per cycle takes a byte or more each time.
  EXPECT_LE(after.PrivateBytes, warm.PrivateBytes + 64 * 1024);
  EXPECT_LT(after.HeapBytes, warm.HeapBytes + static_cast<size_t>(laterCycles));
}
