#include "plugin_host.h"

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

}  // namespace

PluginHost::PluginHost(const std::wstring& pluginFile) : module_(LoadLibraryW(pluginFile.c_str())) {
  if (module_ == nullptr) return;
  listLoad_ = Export<ListLoadFn>(module_, "ListLoad");
  listLoadW_ = Export<ListLoadWFn>(module_, "ListLoadW");
  listCloseWindow_ = Export<ListCloseWindowFn>(module_, "ListCloseWindow");
  listSendCommand_ = Export<ListSendCommandFn>(module_, "ListSendCommand");
  listGetDetectString_ = Export<ListGetDetectStringFn>(module_, "ListGetDetectString");
  listSetDefaultParams_ = Export<ListSetDefaultParamsFn>(module_, "ListSetDefaultParams");
}

PluginHost::~PluginHost() { Unload(); }

void PluginHost::Unload() {
  if (module_ != nullptr) FreeLibrary(module_);
  module_ = nullptr;
}

void PluginHost::SetDefaultParams() {
  ListDefaultParamStruct params{};
  params.size = sizeof(params);
  params.PluginInterfaceVersionLow = 20;
  params.PluginInterfaceVersionHi = 2;
  lstrcpyA(params.DefaultIniName, "C:\\wincmd\\lsplugin.ini");
  listSetDefaultParams_(&params);
}

HWND PluginHost::LoadW(HWND lister, const std::wstring& fileName, int showFlags) {
  std::wstring name = fileName;
  return listLoadW_(lister, name.data(), showFlags);
}

HWND PluginHost::LoadAnsi(HWND lister, const char* fileName, int showFlags) {
  std::string name = fileName;
  return listLoad_(lister, name.data(), showFlags);
}

void PluginHost::CloseWindow(HWND view) { listCloseWindow_(view); }

int PluginHost::SendCommand(HWND view, int command, int parameter) {
  return listSendCommand_(view, command, parameter);
}

std::string PluginHost::DetectString(int bufferSize) {
  // Guard bytes around the buffer show any write outside it.
  std::vector<char> buffer(static_cast<size_t>(std::max(bufferSize, 0)) + 2, '\x7f');
  listGetDetectString_(buffer.data() + 1, bufferSize);
  return std::string(buffer.begin(), buffer.end());
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
