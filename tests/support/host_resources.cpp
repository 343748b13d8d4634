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

// Where a thread's stack and thread block live: the allocations that come and
// go with the thread rather than with anything it did.
struct ThreadMemory {
  const void* Stack = nullptr;        // the allocation of its stack
  const void* BeyondStack = nullptr;  // an allocation beginning where the stack ends (Wine's own stack of the thread)
  const void* Block = nullptr;        // the allocation holding its thread block (shared by several threads)
};

struct ThreadCounts {
  size_t Own = 0;
  size_t Pool = 0;
  std::vector<ThreadMemory> Memory;
};

const void* AllocationOf(const void* address) {
  MEMORY_BASIC_INFORMATION region{};
  if (address == nullptr || VirtualQuery(address, &region, sizeof(region)) != sizeof(region)) return nullptr;
  return region.AllocationBase;
}

ThreadMemory MemoryOf(HANDLE thread) {
  BasicThreadInformation basic{};
  if (ThreadQuery()(thread, kThreadBasicInformation, &basic, sizeof(basic), nullptr) != 0 ||
      basic.TebBaseAddress == nullptr) {
    return {};
  }
  const auto* teb = static_cast<const char*>(basic.TebBaseAddress);
  const auto* block = reinterpret_cast<const NT_TIB*>(teb);
  // The thread block's DeallocationStack: the base of the whole stack allocation.
  const void* stack = *reinterpret_cast<void* const*>(teb + (sizeof(void*) == 8 ? 0x1478 : 0xE0C));
  return {stack != nullptr ? stack : AllocationOf(block->StackLimit), block->StackBase, AllocationOf(teb)};
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
    counts.Memory.push_back(MemoryOf(thread));
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
  return counts;
}

// Wine reports no private usage in the process counters, so the address space
// is walked instead. The threads' own allocations are left out: the thread
// counts stand for them.
size_t CommittedPrivateBytes(const std::vector<ThreadMemory>& threads) {
  std::set<const void*> threadAllocations;
  for (const ThreadMemory& thread : threads) {
    for (const void* allocation : {thread.Stack, thread.BeyondStack, thread.Block}) {
      if (allocation != nullptr) threadAllocations.insert(allocation);
    }
  }
  size_t total = 0;
  MEMORY_BASIC_INFORMATION region{};
  for (const char* address = nullptr;
       VirtualQuery(address, &region, sizeof(region)) == sizeof(region) && region.RegionSize > 0;
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE && !threadAllocations.count(region.AllocationBase)) {
      total += region.RegionSize;
    }
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

DWORD WINAPI EndAtOnce(void*) { return 0; }

// Wine frees an ended thread's stacks only when the next thread ends, so the last
// thread to end still holds them. One of ours ends just before each measurement:
// the stacks held are then always its own, never those of a pool thread that
// retired in between (3 MiB more, seen after an mpv view's two readers had made
// the pool grow and shrink again).
void EndAThreadOfOurs() {
  HANDLE thread = CreateThread(nullptr, 0, EndAtOnce, nullptr, 0, nullptr);
  if (thread == nullptr) return;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

}  // namespace

HostResources MeasureHost() {
  EndAThreadOfOurs();
  const size_t heapBytes = SettledHeapBytesInUse();
  const ThreadCounts threads = CountThreads();
  return {HandleCount(),        WindowCount(), CommittedPrivateBytes(threads.Memory), heapBytes, threads.Own,
          threads.Pool};
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
