#include "host_resources.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <set>
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

using QueryThread = NTSTATUS(NTAPI*)(HANDLE, THREADINFOCLASS, void*, ULONG, ULONG*);

QueryThread ThreadQuery() {
  static const auto query = reinterpret_cast<QueryThread>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationThread")));
  return query;
}

constexpr auto kThreadBasicInformation = static_cast<THREADINFOCLASS>(0);
constexpr auto kThreadStartAddress = static_cast<THREADINFOCLASS>(9);  // ThreadQuerySetWin32StartAddress

struct BasicThreadInformation {
  NTSTATUS ExitStatus;
  void* TebBaseAddress;
  CLIENT_ID ClientId;
  KAFFINITY AffinityMask;
  LONG Priority;
  LONG BasePriority;
};

struct ThreadCounts {
  size_t Own = 0;
  size_t Pool = 0;
  std::set<const void*> Blocks;  // the allocations holding the threads' thread blocks (shared by several)
};

const void* AllocationOf(const void* address) {
  MEMORY_BASIC_INFORMATION region{};
  if (address == nullptr || VirtualQuery(address, &region, sizeof(region)) != sizeof(region)) return nullptr;
  return region.AllocationBase;
}

const void* ThreadBlockAllocation(HANDLE thread) {
  BasicThreadInformation basic{};
  if (ThreadQuery()(thread, kThreadBasicInformation, &basic, sizeof(basic), nullptr) != 0) return nullptr;
  return AllocationOf(basic.TebBaseAddress);
}

bool StartedBySystem(HANDLE thread) {
  void* start = nullptr;
  if (ThreadQuery()(thread, kThreadStartAddress, &start, sizeof(start), nullptr) != 0) return false;
  HMODULE module = nullptr;
  return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(start), &module) &&
         module == GetModuleHandleW(L"ntdll.dll");
}

ThreadCounts CountThreads() {
  ThreadCounts counts;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return counts;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL found = Thread32First(snapshot, &entry); found; found = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != GetCurrentProcessId()) continue;
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
    if (thread == nullptr) continue;  // it has just ended
    ++(StartedBySystem(thread) ? counts.Pool : counts.Own);
    if (const void* block = ThreadBlockAllocation(thread)) counts.Blocks.insert(block);
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
  return counts;
}

// One allocation (a reservation and what of it is committed), as the walk of the
// address space finds it.
struct Allocation {
  const char* Base = nullptr;
  const char* End = nullptr;
  size_t CommittedPrivate = 0;
  bool HoldsGuardPage = false;
};

std::vector<Allocation> Allocations() {
  std::vector<Allocation> allocations;
  MEMORY_BASIC_INFORMATION region{};
  for (const char* address = nullptr;
       VirtualQuery(address, &region, sizeof(region)) == sizeof(region) && region.RegionSize > 0;
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_FREE) continue;
    const auto* base = static_cast<const char*>(region.AllocationBase);
    if (allocations.empty() || allocations.back().Base != base) allocations.push_back({base, base, 0, false});
    Allocation& allocation = allocations.back();
    allocation.End = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) allocation.CommittedPrivate += region.RegionSize;
    if (region.State == MEM_COMMIT && (region.Protect & PAGE_GUARD) != 0) allocation.HoldsGuardPage = true;
  }
  return allocations;
}

// Wine reports no private usage in the process counters, so the address space is
// walked instead. Thread stacks are left out, the thread counts stand for them:
// not only the live threads' but also an ended thread's, whose stacks Wine frees
// only when the next thread ends, which may be a pool worker retiring at any
// moment, between two measurements or in the middle of one. A stack is known by
// its layout, which it keeps until it is freed, not by a thread it belongs to: its
// allocation holds a guard page (Wine's begin with a no-access page and a guard
// page; Windows keeps one below the committed part), and Wine's own stack of the
// thread is the allocation that begins where it ends. The allocations holding the
// live threads' thread blocks are left out too.
size_t CommittedPrivateBytes(const std::set<const void*>& threadBlocks) {
  const std::vector<Allocation> allocations = Allocations();
  std::set<const char*> stackEnds;
  for (const Allocation& allocation : allocations) {
    if (allocation.HoldsGuardPage) stackEnds.insert(allocation.End);
  }
  size_t total = 0;
  for (const Allocation& allocation : allocations) {
    if (allocation.HoldsGuardPage || stackEnds.count(allocation.Base) || threadBlocks.count(allocation.Base)) continue;
    total += allocation.CommittedPrivate;
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

// The least of a few looks at |measure|: what stays, without what other threads
// hold for a moment (the test's message-box watcher's heap blocks; a thread's
// stack in the making or being freed, which has not yet or no longer the layout
// that tells it apart).
size_t LeastOfAFewLooks(size_t (*measure)()) {
  size_t least = measure();
  for (int look = 0; look < 5; ++look) {
    Sleep(20);
    least = std::min(least, measure());
  }
  return least;
}

size_t CommittedPrivateBytesNow() { return CommittedPrivateBytes(CountThreads().Blocks); }

}  // namespace

HostResources MeasureHost() {
  const size_t heapBytes = LeastOfAFewLooks(HeapBytesInUse);
  const size_t privateBytes = LeastOfAFewLooks(CommittedPrivateBytesNow);
  const ThreadCounts threads = CountThreads();
  return {HandleCount(), WindowCount(), privateBytes, heapBytes, threads.Own, threads.Pool};
}

HostResources MeasureHostSettledLike(const HostResources& reference) {
  // The pool retires a thread after some seconds without work; the bound leaves room for that.
  WaitUntil([&] { return CountThreads().Pool <= reference.PoolThreads; }, std::chrono::seconds(30));
  return MeasureHost();
}

CycleResources MeasureCycles(int warmUpCycles, int cycles, const std::function<void(int)>& cycle) {
  CycleResources measured;
  const ULONGLONG start = GetTickCount64();
  for (int i = 1; i <= warmUpCycles; ++i) cycle(i);
  measured.Warm = MeasureHost();
  for (int i = warmUpCycles + 1; i <= cycles; ++i) cycle(i);
  measured.Seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
  measured.After = MeasureHostSettledLike(measured.Warm);
  return measured;
}

void ReportResources(const std::string& when, const std::string& suffix, const HostResources& resources) {
  std::printf("%-20s handles %lu, windows %zu, private memory %zu KiB, heap in use %zu bytes, threads %zu + %zu of "
              "the system's pool\n",
              (when + ":").c_str(), static_cast<unsigned long>(resources.Handles), resources.Windows,
              resources.PrivateBytes / 1024, resources.HeapBytes, resources.Threads, resources.PoolThreads);
  ::testing::Test::RecordProperty("handles_" + suffix, static_cast<int>(resources.Handles));
  ::testing::Test::RecordProperty("private_kib_" + suffix, static_cast<int>(resources.PrivateBytes / 1024));
  ::testing::Test::RecordProperty("heap_bytes_" + suffix, static_cast<int>(resources.HeapBytes));
  ::testing::Test::RecordProperty("threads_" + suffix, static_cast<int>(resources.Threads));
  ::testing::Test::RecordProperty("pool_threads_" + suffix, static_cast<int>(resources.PoolThreads));
}

void ExpectHostAsWarm(const HostResources& warm, const HostResources& after, int laterCycles) {
  EXPECT_EQ(after.Handles, warm.Handles);
  EXPECT_EQ(after.Windows, warm.Windows);
  EXPECT_EQ(after.Threads, warm.Threads);
  EXPECT_LE(after.PoolThreads, warm.PoolThreads) << "the pool kept threads that stayed busy or stuck";
  // The test's own bookkeeping may differ by a few bytes (the names of its players'
  // log folders gain a digit), and the process may commit one more 64 KiB run once;
  // a page leaked per cycle outgrows that within 17 cycles, and a block leaked per
  // cycle takes a byte or more each time.
  EXPECT_LE(after.PrivateBytes, warm.PrivateBytes + 64 * 1024);
  EXPECT_LT(after.HeapBytes, warm.HeapBytes + static_cast<size_t>(laterCycles));
}

bool AllHeapsValid() {
  std::vector<HANDLE> heaps(GetProcessHeaps(0, nullptr) + 16);
  heaps.resize(GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data()));
  for (HANDLE heap : heaps) {
    if (!HeapValidate(heap, 0, nullptr)) return false;
  }
  return true;
}
