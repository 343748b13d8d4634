// The functions the host's Lister interface calls, and the module's lifetime.
#include <windows.h>

#include "detect_string.h"
#include "thumbnail.h"
#include "view_session.h"
#include "view_window.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

struct ListDefaultParamStruct;  // the host's defaults; not read

// The 32-bit host calls every export as __stdcall. The test-only control built
// with REELPANE_CDECL_EXPORTS leaves the arguments to the caller instead, so that
// the test proving the convention has a plugin file to fail with.
#if defined(REELPANE_CDECL_EXPORTS)
#define LISTER_EXPORT __cdecl
#else
#define LISTER_EXPORT __stdcall
#endif

namespace {

HINSTANCE PluginInstance = nullptr;  // set by the first ListSetDefaultParams
bool ClassRegistered = false;

// ListLoadNext's results; on an error the host closes the view and loads the file afresh.
constexpr int kListPluginOk = 0;
constexpr int kListPluginError = 1;

}  // namespace

extern "C" {

HWND LISTER_EXPORT ListLoad(HWND, char*, int) {
  return nullptr;  // only UTF-16 file names are accepted
}

HWND LISTER_EXPORT ListLoadW(HWND listerWindow, wchar_t* fileToLoad, int) {
  if (PluginInstance == nullptr) return nullptr;
  return OpenPlayerView(PluginInstance, listerWindow, fileToLoad);
}

int LISTER_EXPORT ListLoadNext(HWND, HWND, char*, int) {
  return kListPluginError;  // only UTF-16 file names are accepted
}

int LISTER_EXPORT ListLoadNextW(HWND listerWindow, HWND view, wchar_t* fileToLoad, int) {
  if (PluginInstance == nullptr) return kListPluginError;
  return LoadNextIntoView(listerWindow, view, fileToLoad) ? kListPluginOk : kListPluginError;
}

void LISTER_EXPORT ListCloseWindow(HWND view) { ClosePlayerView(view); }

int LISTER_EXPORT ListSendCommand(HWND view, int command, int) {
  SendHostCommand(view, command);
  return 0;
}

// The thumbnail view's frame of a video, on whatever thread the host asks.
HBITMAP LISTER_EXPORT ListGetPreviewBitmapW(wchar_t* fileToLoad, int width, int height, char*, int) {
  return MakeVideoThumbnail(fileToLoad, width, height);
}

HBITMAP LISTER_EXPORT ListGetPreviewBitmap(char*, int, int, char*, int) {
  return nullptr;  // only UTF-16 file names are accepted, as for ListLoad
}

void LISTER_EXPORT ListGetDetectString(char* detectString, int maxLength) { CopyDetectString(detectString, maxLength); }

void LISTER_EXPORT ListSetDefaultParams(ListDefaultParamStruct*) {
  if (ClassRegistered) return;
  PluginInstance = reinterpret_cast<HINSTANCE>(&__ImageBase);
  RegisterPlayerWindowClass(PluginInstance);
  ClassRegistered = true;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_DETACH && PluginInstance != nullptr) UnregisterPlayerWindowClass(PluginInstance);
  return TRUE;
}

}  // extern "C"
