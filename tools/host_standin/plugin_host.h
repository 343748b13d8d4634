#pragma once
#include <windows.h>

#include <string>

// The host stand-in: loads a built plugin file and calls its exports as the
// file manager does, with Lister windows of its own.
struct ListDefaultParamStruct {
  int size;
  DWORD PluginInterfaceVersionLow;
  DWORD PluginInterfaceVersionHi;
  char DefaultIniName[MAX_PATH];
};

class PluginHost {
 public:
  explicit PluginHost(const std::wstring& pluginFile);
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;
  ~PluginHost();

  bool IsLoaded() const { return module_ != nullptr; }
  HMODULE Module() const { return module_; }
  // Unloads the plugin file now (process detach runs).
  void Unload();

  void SetDefaultParams();
  HWND LoadW(HWND lister, const std::wstring& fileName, int showFlags = 0);
  HWND LoadAnsi(HWND lister, const char* fileName, int showFlags = 0);
  void CloseWindow(HWND view);
  int SendCommand(HWND view, int command, int parameter = 0);
  std::string DetectString(int bufferSize);

 private:
  using ListLoadFn = HWND(__stdcall*)(HWND, char*, int);
  using ListLoadWFn = HWND(__stdcall*)(HWND, wchar_t*, int);
  using ListCloseWindowFn = void(__stdcall*)(HWND);
  using ListSendCommandFn = int(__stdcall*)(HWND, int, int);
  using ListGetDetectStringFn = void(__stdcall*)(char*, int);
  using ListSetDefaultParamsFn = void(__stdcall*)(ListDefaultParamStruct*);

  HMODULE module_ = nullptr;
  ListLoadFn listLoad_ = nullptr;
  ListLoadWFn listLoadW_ = nullptr;
  ListCloseWindowFn listCloseWindow_ = nullptr;
  ListSendCommandFn listSendCommand_ = nullptr;
  ListGetDetectStringFn listGetDetectString_ = nullptr;
  ListSetDefaultParamsFn listSetDefaultParams_ = nullptr;
};

// A free-standing Lister window: top-level, no parent, of the given outer size.
HWND CreateFreeListerWindow(int width = 1000, int height = 700);
// An embedded Lister window: a child of a panel window, as the quick-view panel is.
HWND CreateEmbeddedListerWindow();
// Destroys a Lister window and, for an embedded one, its panel.
void DestroyListerWindow(HWND lister);

// Dispatches whatever is queued for this thread for |milliseconds|.
void PumpMessages(DWORD milliseconds);
