#include "plugin_call_spy.h"

#include <algorithm>
#include <atomic>

// Points one entry of a loaded module's import table at a replacement for as
// long as the object lives. Only calls the module itself makes are seen.
class ImportPatch {
 public:
  ImportPatch(HMODULE module, const char* dllName, const char* functionName, void* replacement);
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;
  ~ImportPatch();

  bool Applied() const { return slot_ != nullptr; }
  void* Original() const { return original_; }

 private:
  void** slot_ = nullptr;
  void* original_ = nullptr;
};

namespace {

void** FindImportSlot(HMODULE module, const char* dllName, const char* functionName) {
  auto* base = reinterpret_cast<BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return nullptr;
  for (auto* dll = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); dll->Name != 0;
       ++dll) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + dll->Name), dllName) != 0) continue;
    if (dll->OriginalFirstThunk == 0) continue;  // no names left to match
    auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), functionName) == 0) {
        return reinterpret_cast<void**>(&slots->u1.Function);
      }
    }
  }
  return nullptr;
}

void WriteSlot(void** slot, void* value) {
  DWORD oldProtection = 0;
  VirtualProtect(slot, sizeof(void*), PAGE_READWRITE, &oldProtection);
  *slot = value;
  VirtualProtect(slot, sizeof(void*), oldProtection, &oldProtection);
}

}  // namespace

ImportPatch::ImportPatch(HMODULE module, const char* dllName, const char* functionName, void* replacement) {
  if (module == nullptr) return;
  slot_ = FindImportSlot(module, dllName, functionName);
  if (slot_ == nullptr) return;
  original_ = *slot_;
  WriteSlot(slot_, replacement);
}

ImportPatch::~ImportPatch() {
  if (slot_ != nullptr) WriteSlot(slot_, original_);
}

namespace {

PluginCallSpy* Active = nullptr;
// Only the calls of the thread that made the spy (the host's) are kept: the
// plugin's output reader reads on the system's pool threads at any moment.
std::atomic<DWORD> SpiedThread{0};

// The real functions, as the plugin's import table held them.
struct Originals {
  decltype(&DefWindowProcW) DefaultProcedure = nullptr;
  decltype(&PostMessageW) Post = nullptr;
  decltype(&WriteFile) Write = nullptr;
  decltype(&ReadFile) Read = nullptr;
  decltype(&BeginPaint) BeginPaint = nullptr;
  decltype(&EndPaint) EndPaint = nullptr;
  decltype(&FillRect) FillRect = nullptr;
  decltype(&CreateSolidBrush) CreateSolidBrush = nullptr;
  decltype(&DeleteObject) DeleteObject = nullptr;
  decltype(&SetInformationJobObject) SetJobInformation = nullptr;
  void*(__cdecl* Allocate)(size_t) = nullptr;
} Real;

// A hook must leave the plugin the error code the real call left (overlapped
// pipe calls read ERROR_IO_PENDING).
class KeepLastError {
 public:
  KeepLastError() : error_(GetLastError()) {}
  ~KeepLastError() { SetLastError(error_); }

 private:
  DWORD error_;
};

}  // namespace

struct SpyHooks {
  static void Record(SpiedCall call) {
    if (GetCurrentThreadId() == SpiedThread && Active != nullptr) Active->calls_.push_back(std::move(call));
  }

  static LRESULT WINAPI DefaultProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Record({.Function = "DefWindowProcW", .Target = window, .Message = message});
    return Real.DefaultProcedure(window, message, wParam, lParam);
  }

  static BOOL WINAPI Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const BOOL result = Real.Post(window, message, wParam, lParam);
    KeepLastError keep;
    Record({.Function = "PostMessageW", .Target = window, .Message = message});
    return result;
  }

  static BOOL WINAPI Write(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    const BOOL result = Real.Write(file, bytes, size, written, overlapped);
    KeepLastError keep;
    Record({.Function = "WriteFile", .Target = file, .Bytes = std::string(static_cast<const char*>(bytes), size)});
    return result;
  }

  static BOOL WINAPI Read(HANDLE file, LPVOID buffer, DWORD size, LPDWORD got, LPOVERLAPPED overlapped) {
    const BOOL result = Real.Read(file, buffer, size, got, overlapped);
    KeepLastError keep;
    Record({.Function = "ReadFile", .Target = file, .Size = size});
    return result;
  }

  static HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    HDC dc = Real.BeginPaint(window, paint);
    KeepLastError keep;
    if (Active != nullptr && Active->paintDc_ != nullptr && paint != nullptr) {
      Active->realPaintDcs_.push_back(dc);
      paint->hdc = Active->paintDc_;
      dc = Active->paintDc_;
    }
    Record({.Function = "BeginPaint", .Target = window});
    return dc;
  }

  static BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint) {
    PAINTSTRUCT real = *paint;
    if (Active != nullptr && paint->hdc == Active->paintDc_ && !Active->realPaintDcs_.empty()) {
      real.hdc = Active->realPaintDcs_.back();
      Active->realPaintDcs_.pop_back();
    }
    const BOOL result = Real.EndPaint(window, &real);
    KeepLastError keep;
    Record({.Function = "EndPaint", .Target = window});
    return result;
  }

  static int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    const int result = Real.FillRect(dc, rect, brush);
    KeepLastError keep;
    Record({.Function = "FillRect", .Target = dc, .Rect = rect != nullptr ? *rect : RECT{}, .Object = brush});
    return result;
  }

  static HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    HBRUSH brush = Real.CreateSolidBrush(color);
    KeepLastError keep;
    Record({.Function = "CreateSolidBrush", .Color = color, .Object = brush});
    return brush;
  }

  static BOOL WINAPI DeleteObject(HGDIOBJ object) {
    const BOOL result = Real.DeleteObject(object);
    KeepLastError keep;
    Record({.Function = "DeleteObject", .Target = object});
    return result;
  }

  static BOOL WINAPI SetJobInformation(HANDLE job, JOBOBJECTINFOCLASS kind, LPVOID information, DWORD size) {
    const BOOL result = Real.SetJobInformation(job, kind, information, size);
    KeepLastError keep;
    if (kind == JobObjectExtendedLimitInformation && size >= sizeof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION)) {
      const auto& limits = *static_cast<const JOBOBJECT_EXTENDED_LIMIT_INFORMATION*>(information);
      Record({.Function = "SetInformationJobObject", .Target = job,
              .Flags = limits.BasicLimitInformation.LimitFlags});
    }
    return result;
  }

  static void* __cdecl Allocate(size_t size) {
    if (GetCurrentThreadId() == SpiedThread && Active != nullptr && Active->allocationsLeft_ >= 0) {
      // Only one fails: the C++ run-time needs memory of its own to throw.
      if (Active->allocationsLeft_-- == 0) {
        ++Active->refusedAllocations_;
        return nullptr;
      }
    }
    return Real.Allocate(size);
  }
};

namespace {

template <typename F>
std::unique_ptr<ImportPatch> Patch(HMODULE plugin, const char* dll, const char* name, F hook, F& original) {
  auto patch = std::make_unique<ImportPatch>(plugin, dll, name, reinterpret_cast<void*>(hook));
  if (patch->Applied()) original = reinterpret_cast<F>(patch->Original());
  return patch;
}

}  // namespace

PluginCallSpy::PluginCallSpy(HMODULE plugin) {
  Active = this;
  SpiedThread = GetCurrentThreadId();
  patches_.push_back(Patch(plugin, "USER32.dll", "DefWindowProcW", &SpyHooks::DefaultProcedure, Real.DefaultProcedure));
  patches_.push_back(Patch(plugin, "USER32.dll", "PostMessageW", &SpyHooks::Post, Real.Post));
  patches_.push_back(Patch(plugin, "KERNEL32.dll", "WriteFile", &SpyHooks::Write, Real.Write));
  patches_.push_back(Patch(plugin, "KERNEL32.dll", "ReadFile", &SpyHooks::Read, Real.Read));
  patches_.push_back(Patch(plugin, "USER32.dll", "BeginPaint", &SpyHooks::BeginPaint, Real.BeginPaint));
  patches_.push_back(Patch(plugin, "USER32.dll", "EndPaint", &SpyHooks::EndPaint, Real.EndPaint));
  patches_.push_back(Patch(plugin, "USER32.dll", "FillRect", &SpyHooks::FillRect, Real.FillRect));
  patches_.push_back(
      Patch(plugin, "GDI32.dll", "CreateSolidBrush", &SpyHooks::CreateSolidBrush, Real.CreateSolidBrush));
  patches_.push_back(Patch(plugin, "GDI32.dll", "DeleteObject", &SpyHooks::DeleteObject, Real.DeleteObject));
  patches_.push_back(
      Patch(plugin, "KERNEL32.dll", "SetInformationJobObject", &SpyHooks::SetJobInformation, Real.SetJobInformation));
  patches_.push_back(Patch(plugin, "msvcrt.dll", "malloc", &SpyHooks::Allocate, Real.Allocate));
}

PluginCallSpy::~PluginCallSpy() {
  patches_.clear();
  SpiedThread = 0;
  Active = nullptr;
}

bool PluginCallSpy::Attached() const {
  return std::all_of(patches_.begin(), patches_.end(), [](const auto& patch) { return patch->Applied(); });
}

std::vector<SpiedCall> PluginCallSpy::CallsTo(const std::string& function) const {
  std::vector<SpiedCall> found;
  std::copy_if(calls_.begin(), calls_.end(), std::back_inserter(found),
               [&](const SpiedCall& call) { return call.Function == function; });
  return found;
}

size_t PluginCallSpy::DefaultProcessingOf(UINT message) const {
  return static_cast<size_t>(std::count_if(calls_.begin(), calls_.end(), [&](const SpiedCall& call) {
    return call.Function == "DefWindowProcW" && call.Message == message;
  }));
}
