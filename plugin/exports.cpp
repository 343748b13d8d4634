// The functions the host's Lister interface calls, and the module's lifetime.
#include <windows.h>

#include "detect_string.h"
#include "sound_ini.h"
#include "thumbnail.h"
#include "view_session.h"
#include "view_window.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

struct ListDefaultParamStruct;  // the host's defaults: the name of its plugins' ini (sound_ini.h)

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
std::wstring HostIni;  // where the sound level is kept across restarts; empty: nowhere

// ListLoadNext's results; on an error the host closes the view and loads the file afresh.
constexpr int kListPluginOk = 0;
constexpr int kListPluginError = 1;

// No exception leaves an export: it would unwind through the host's own frames
// (a 32-bit host under memory pressure makes several thumbnails at once, and
// any allocation may fail) and end the file manager. The export gives its
// failure value instead; what it had started is released on the way out.
template <typename Result, typename Body>
Result Guarded(Result failure, Body body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

template <typename Body>
void Guarded(Body body) noexcept {
  try {
    body();
  } catch (...) {
  }
}

}  // namespace

extern "C" {

HWND LISTER_EXPORT ListLoad(HWND, char*, int) {
  return nullptr;  // only UTF-16 file names are accepted
}

HWND LISTER_EXPORT ListLoadW(HWND listerWindow, wchar_t* fileToLoad, int) {
  if (PluginInstance == nullptr) return nullptr;
  return Guarded<HWND>(nullptr, [&] { return OpenPlayerView(PluginInstance, listerWindow, fileToLoad); });
}

int LISTER_EXPORT ListLoadNext(HWND, HWND, char*, int) {
  return kListPluginError;  // only UTF-16 file names are accepted
}

int LISTER_EXPORT ListLoadNextW(HWND listerWindow, HWND view, wchar_t* fileToLoad, int) {
  if (PluginInstance == nullptr) return kListPluginError;
  return Guarded(kListPluginError, [&] {
    return LoadNextIntoView(listerWindow, view, fileToLoad) ? kListPluginOk : kListPluginError;
  });
}

void LISTER_EXPORT ListCloseWindow(HWND view) {
  Guarded([&] {
    ClosePlayerView(view);
    // The player has ended and its reports are all in: the level it was left at is kept.
    SaveRememberedSound(HostIni);
  });
}

int LISTER_EXPORT ListSendCommand(HWND view, int command, int) {
  Guarded([&] { SendHostCommand(view, command); });
  return 0;
}

// The thumbnail view's frame of a video, on whatever thread the host asks.
HBITMAP LISTER_EXPORT ListGetPreviewBitmapW(wchar_t* fileToLoad, int width, int height, char*, int) {
  return Guarded<HBITMAP>(nullptr, [&] { return MakeVideoThumbnail(fileToLoad, width, height); });
}

HBITMAP LISTER_EXPORT ListGetPreviewBitmap(char*, int, int, char*, int) {
  return nullptr;  // only UTF-16 file names are accepted, as for ListLoad
}

void LISTER_EXPORT ListGetDetectString(char* detectString, int maxLength) { CopyDetectString(detectString, maxLength); }

// The detect string does not allocate: nothing to guard.
void LISTER_EXPORT ListSetDefaultParams(ListDefaultParamStruct* defaultParams) {
  Guarded([&] {
    // Read once, at the host's first call; a later call naming another file moves the memory there.
    std::wstring named = HostIniName(defaultParams);
    if (named != HostIni && !ClassRegistered) LoadRememberedSound(named);
    HostIni = std::move(named);
  });
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
