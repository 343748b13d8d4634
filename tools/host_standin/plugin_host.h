#pragma once
#include <windows.h>

#include <atomic>
#include <string>

// The host stand-in: loads a built plugin file and calls its exports as the
// file manager does, with Lister windows of its own. The 32-bit stand-in calls
// them as the 32-bit file manager does: __stdcall, on a stack aligned to 4 bytes
// only (Delphi keeps no more), and it notes where each call left the stack pointer.
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

  // As the file manager calls it, naming |iniName| (ANSI) as its plugins' ini.
  void SetDefaultParams(const std::string& iniName = "C:\\wincmd\\lsplugin.ini");
  HWND LoadW(HWND lister, const std::wstring& fileName, int showFlags = 0);
  HWND LoadAnsi(HWND lister, const char* fileName, int showFlags = 0);
  // The next file into an open view: 0 when it shows the file, 1 when not.
  int LoadNextW(HWND lister, HWND view, const std::wstring& fileName, int showFlags = 0);
  int LoadNextAnsi(HWND lister, HWND view, const char* fileName, int showFlags = 0);
  void CloseWindow(HWND view);
  int SendCommand(HWND view, int command, int parameter = 0);
  std::string DetectString(int bufferSize);
  // The thumbnail view's request, as the file manager makes it from any of its
  // threads (with no content bytes). The caller owns the bitmap.
  HBITMAP PreviewBitmap(const std::wstring& fileName, int width, int height);
  HBITMAP PreviewBitmapAnsi(const char* fileName, int width, int height);

  // Bytes by which the last export call moved the stack pointer: 0 when the export
  // removed its own arguments (__stdcall), minus their size when it left them
  // (cdecl). Always 0 in the 64-bit build, which has one calling convention.
  int LastStackMove() const { return lastStackMove_; }

 private:
  template <typename Result, typename Function, typename... Arguments>
  Result Call(Function function, Arguments... arguments);

  using ListLoadFn = HWND(__stdcall*)(HWND, char*, int);
  using ListLoadWFn = HWND(__stdcall*)(HWND, wchar_t*, int);
  using ListLoadNextFn = int(__stdcall*)(HWND, HWND, char*, int);
  using ListLoadNextWFn = int(__stdcall*)(HWND, HWND, wchar_t*, int);
  using ListCloseWindowFn = void(__stdcall*)(HWND);
  using ListSendCommandFn = int(__stdcall*)(HWND, int, int);
  using ListGetDetectStringFn = void(__stdcall*)(char*, int);
  using ListSetDefaultParamsFn = void(__stdcall*)(ListDefaultParamStruct*);
  using ListGetPreviewBitmapWFn = HBITMAP(__stdcall*)(wchar_t*, int, int, char*, int);
  using ListGetPreviewBitmapFn = HBITMAP(__stdcall*)(char*, int, int, char*, int);

  HMODULE module_ = nullptr;
  ListLoadFn listLoad_ = nullptr;
  ListLoadWFn listLoadW_ = nullptr;
  ListLoadNextFn listLoadNext_ = nullptr;
  ListLoadNextWFn listLoadNextW_ = nullptr;
  ListCloseWindowFn listCloseWindow_ = nullptr;
  ListSendCommandFn listSendCommand_ = nullptr;
  ListGetDetectStringFn listGetDetectString_ = nullptr;
  ListSetDefaultParamsFn listSetDefaultParams_ = nullptr;
  ListGetPreviewBitmapWFn listGetPreviewBitmapW_ = nullptr;
  ListGetPreviewBitmapFn listGetPreviewBitmap_ = nullptr;
  std::atomic<int> lastStackMove_ = 0;  // thumbnails are asked for from several threads
};

// A free-standing Lister window: top-level, no parent, of the given outer size.
HWND CreateFreeListerWindow(int width = 1000, int height = 700);
// An embedded Lister window: a child of a panel window, as the quick-view panel is.
HWND CreateEmbeddedListerWindow();
// Destroys a Lister window and, for an embedded one, its panel.
void DestroyListerWindow(HWND lister);

// Dispatches whatever is queued for this thread for |milliseconds|.
void PumpMessages(DWORD milliseconds);
