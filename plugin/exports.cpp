// The six functions the host's Lister interface calls, and the module's lifetime.
#include <windows.h>

#include "detect_string.h"
#include "view_session.h"
#include "view_window.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

struct ListDefaultParamStruct;  // the host's defaults; not read

namespace {

HINSTANCE PluginInstance = nullptr;  // set by the first ListSetDefaultParams
bool ClassRegistered = false;

}  // namespace

extern "C" {

HWND __stdcall ListLoad(HWND, char*, int) {
  return nullptr;  // only UTF-16 file names are accepted
}

HWND __stdcall ListLoadW(HWND listerWindow, wchar_t* fileToLoad, int) {
  if (PluginInstance == nullptr) return nullptr;
  return OpenPlayerView(PluginInstance, listerWindow, fileToLoad);
}

void __stdcall ListCloseWindow(HWND view) { ClosePlayerView(view); }

int __stdcall ListSendCommand(HWND view, int command, int) {
  SendHostCommand(view, command);
  return 0;
}

void __stdcall ListGetDetectString(char* detectString, int maxLength) { CopyDetectString(detectString, maxLength); }

void __stdcall ListSetDefaultParams(ListDefaultParamStruct*) {
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
