#include "plugin_host.h"

#include <cstdint>
#include <type_traits>
#include <vector>

namespace {

constexpr wchar_t kListerClass[] = L"ReelpaneHostLister";

LRESULT CALLBACK ListerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // The real host closes its views itself; the stand-in keeps its windows until told.
  if (message == WM_CLOSE) return 0;
  return DefWindowProcW(window, message, wParam, lParam);
}

void RegisterListerClass() {
  static const bool registered = [] {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ListerWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = kListerClass;
    return RegisterClassW(&windowClass) != 0;
  }();
  (void)registered;
}

template <typename T>
T Export(HMODULE module, const char* name) {
  return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

#if !defined(_WIN64)
// Calls |function| with |count| 32-bit arguments pushed right to left for the
// callee to remove, on a stack that the callee finds aligned to 4 bytes and to no
// more. Gives EAX, and in |moved| where the stack pointer ended against where it
// was before the pushes. The stack pointer is set back either way, so that a
// callee that left its arguments can't upset this program.
std::uint32_t CallAsA32BitHost(void* function, const std::uint32_t* arguments, std::uint32_t count, int& moved) {
  std::uint32_t result = 0;
  std::uint32_t countThenMoved = count;
  __asm__ volatile(
      "movl %%esp, %%edi\n\t"  // ours, given back at the end
      "leal (,%%ecx,4), %%eax\n\t"
      "subl %%eax, %%esp\n\t"
      "andl $-16, %%esp\n\t"
      "addl %%eax, %%esp\n\t"
      "subl $12, %%esp\n\t"  // the callee's first argument lands 4 bytes past a 16-byte boundary
      "movl %%esp, %%esi\n\t"
      "1:\n\t"
      "testl %%ecx, %%ecx\n\t"
      "jz 2f\n\t"
      "pushl -4(%%edx,%%ecx,4)\n\t"
      "decl %%ecx\n\t"
      "jmp 1b\n"
      "2:\n\t"
      "call *%%ebx\n\t"
      "movl %%esp, %%ecx\n\t"
      "subl %%esi, %%ecx\n\t"
      "movl %%edi, %%esp"
      : "=a"(result), "+c"(countThenMoved), "+d"(arguments)
      : "b"(function)
      : "esi", "edi", "memory", "cc");
  moved = static_cast<int>(countThenMoved);
  return result;
}

template <typename T>
std::uint32_t AsWord(T value) {
  if constexpr (std::is_pointer_v<T>) return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(value));
  else return static_cast<std::uint32_t>(value);
}
#endif

}  // namespace

template <typename Result, typename Function, typename... Arguments>
Result PluginHost::Call(Function function, Arguments... arguments) {
#if defined(_WIN64)
  lastStackMove_ = 0;
  return function(arguments...);
#else
  const std::uint32_t words[] = {AsWord(arguments)...};
  int moved = 0;
  const std::uint32_t result = CallAsA32BitHost(reinterpret_cast<void*>(function), words, sizeof...(arguments), moved);
  lastStackMove_ = moved;
  if constexpr (std::is_pointer_v<Result>) return reinterpret_cast<Result>(static_cast<std::uintptr_t>(result));
  else if constexpr (!std::is_void_v<Result>) return static_cast<Result>(result);
#endif
}

PluginHost::PluginHost(const std::wstring& pluginFile) : module_(LoadLibraryW(pluginFile.c_str())) {
  if (module_ == nullptr) return;
  listLoad_ = Export<ListLoadFn>(module_, "ListLoad");
  listLoadW_ = Export<ListLoadWFn>(module_, "ListLoadW");
  listLoadNext_ = Export<ListLoadNextFn>(module_, "ListLoadNext");
  listLoadNextW_ = Export<ListLoadNextWFn>(module_, "ListLoadNextW");
  listCloseWindow_ = Export<ListCloseWindowFn>(module_, "ListCloseWindow");
  listSendCommand_ = Export<ListSendCommandFn>(module_, "ListSendCommand");
  listGetDetectString_ = Export<ListGetDetectStringFn>(module_, "ListGetDetectString");
  listSetDefaultParams_ = Export<ListSetDefaultParamsFn>(module_, "ListSetDefaultParams");
  listGetPreviewBitmapW_ = Export<ListGetPreviewBitmapWFn>(module_, "ListGetPreviewBitmapW");
  listGetPreviewBitmap_ = Export<ListGetPreviewBitmapFn>(module_, "ListGetPreviewBitmap");
}

PluginHost::~PluginHost() { Unload(); }

void PluginHost::Unload() {
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
}

void PluginHost::SetDefaultParams(const std::string& iniName) {
  ListDefaultParamStruct params{};
  params.size = sizeof(params);
  params.PluginInterfaceVersionLow = 20;
  params.PluginInterfaceVersionHi = 2;
  lstrcpynA(params.DefaultIniName, iniName.c_str(), MAX_PATH);
  Call<void>(listSetDefaultParams_, &params);
}

HWND PluginHost::LoadW(HWND lister, const std::wstring& fileName, int showFlags) {
  std::wstring name = fileName;
  return Call<HWND>(listLoadW_, lister, name.data(), showFlags);
}

HWND PluginHost::LoadAnsi(HWND lister, const char* fileName, int showFlags) {
  std::string name = fileName;
  return Call<HWND>(listLoad_, lister, name.data(), showFlags);
}

int PluginHost::LoadNextW(HWND lister, HWND view, const std::wstring& fileName, int showFlags) {
  std::wstring name = fileName;
  return Call<int>(listLoadNextW_, lister, view, name.data(), showFlags);
}

int PluginHost::LoadNextAnsi(HWND lister, HWND view, const char* fileName, int showFlags) {
  std::string name = fileName;
  return Call<int>(listLoadNext_, lister, view, name.data(), showFlags);
}

void PluginHost::CloseWindow(HWND view) { Call<void>(listCloseWindow_, view); }

int PluginHost::SendCommand(HWND view, int command, int parameter) {
  return Call<int>(listSendCommand_, view, command, parameter);
}

std::string PluginHost::DetectString(int bufferSize) {
  // Guard bytes around the buffer show any write outside it.
  std::vector<char> buffer(static_cast<size_t>(std::max(bufferSize, 0)) + 2, '\x7f');
  Call<void>(listGetDetectString_, buffer.data() + 1, bufferSize);
  return std::string(buffer.begin(), buffer.end());
}

HBITMAP PluginHost::PreviewBitmap(const std::wstring& fileName, int width, int height) {
  std::wstring name = fileName;
  char content[1] = {};
  return Call<HBITMAP>(listGetPreviewBitmapW_, name.data(), width, height, content, 0);
}

HBITMAP PluginHost::PreviewBitmapAnsi(const char* fileName, int width, int height) {
  std::string name = fileName;
  char content[1] = {};
  return Call<HBITMAP>(listGetPreviewBitmap_, name.data(), width, height, content, 0);
}

HWND CreateFreeListerWindow(int width, int height) {
  RegisterListerClass();
  return CreateWindowExW(0, kListerClass, L"Lister", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 30, width, height,
                         nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

HWND CreateEmbeddedListerWindow() {
  RegisterListerClass();
  HWND panel = CreateWindowExW(0, kListerClass, L"Panel", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20, 900, 600,
                               nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  return CreateWindowExW(0, kListerClass, L"Quick view", WS_CHILD | WS_VISIBLE, 450, 0, 440, 560, panel, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

void DestroyListerWindow(HWND lister) {
  HWND panel = GetParent(lister);
  DestroyWindow(lister);
  if (panel != nullptr) DestroyWindow(panel);
}

void PumpMessages(DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
  }
}
