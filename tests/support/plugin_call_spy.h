#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class ImportPatch;

// One system call the plugin made.
struct SpiedCall {
  std::string Function{};  // "WriteFile", "PostMessageW", "DefWindowProcW", ...
  void* Target = nullptr;  // the window, handle, device context or GDI object it was about
  UINT Message = 0;        // DefWindowProcW, PostMessageW: the message
  std::string Bytes{};     // WriteFile: the bytes written
  DWORD Size = 0;          // ReadFile: the bytes asked for
  COLORREF Color = 0;      // CreateSolidBrush: the colour
  RECT Rect{};             // FillRect: the rectangle
  void* Object = nullptr;  // FillRect: the brush; CreateSolidBrush: the brush made
  DWORD Flags = 0;         // SetInformationJobObject: the job's limit flags
};

// Records the plugin's calls to the functions the view window, the slave
// channel and the player's job use, made on the thread that made the spy, while
// it lives (one at a time). Optionally hands the plugin's BeginPaint a memory device context, so
// that what it paints can be read back (window pixels can't be read under
// Wine's null display driver).
class PluginCallSpy {
 public:
  explicit PluginCallSpy(HMODULE plugin);
  PluginCallSpy(const PluginCallSpy&) = delete;
  PluginCallSpy& operator=(const PluginCallSpy&) = delete;
  ~PluginCallSpy();

  bool Attached() const;
  const std::vector<SpiedCall>& Calls() const { return calls_; }
  std::vector<SpiedCall> CallsTo(const std::string& function) const;
  void Clear() { calls_.clear(); }
  // DefWindowProcW calls for |message|.
  size_t DefaultProcessingOf(UINT message) const;

  // Paints go into |dc| from now on (null: into the window again).
  void PaintInto(HDC dc) { paintDc_ = dc; }

  // Of the plugin's own heap allocations (its C run-time's malloc, under operator
  // new) on this thread, the one after |count| more fails, as one does in a host
  // whose address space is nearly used up; the others succeed. A negative count
  // fails none.
  void RefuseAllocationAfter(long count) {
    allocationsLeft_ = count;
    refusedAllocations_ = 0;
  }
  long RefusedAllocations() const { return refusedAllocations_; }

 private:
  friend struct SpyHooks;
  std::vector<SpiedCall> calls_;
  HDC paintDc_ = nullptr;
  long allocationsLeft_ = -1;
  long refusedAllocations_ = 0;
  std::vector<HDC> realPaintDcs_;
  std::vector<std::unique_ptr<ImportPatch>> patches_;
};
