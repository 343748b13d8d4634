// reelpane-host: the file manager's part, played from the command line. Loads a
// plugin file, opens a file in Lister windows of its own as the file manager
// does, presses keys, and tells what happened.
//
//   reelpane-host [--plugin FILE] [--embedded] [--lister WxH] [--views N]
//                 [--keys K,K,...] [--command N] [--hold MS] [--screenshot BMP]
//                 [--qpc] [--no-close] FILE
//   reelpane-host [--plugin FILE] --thumbnail WxH [--save FOLDER] FILE...
//
// Keys are virtual-key names (space left up right down 0 9 h i m q multiply
// divide semicolon apostrophe) or numbers; between them, "wait=MS" lets MS
// milliseconds pass (messages dispatched) and "shot=BMP" saves what the screen
// shows of the view's Lister window as it is, a live player's frame included.
// Like the file manager, it sizes each view window to its Lister window's client
// area. --screenshot saves what the screen shows of the first Lister window after
// the keys, commands and hold, with the view's colour key painted afresh.
// --qpc prints the performance counter as each ListLoadW returns, to set against
// the stand-in player's time-stamped events.
// --no-close keeps the views open until the program is killed.
// --thumbnail asks the plugin, as the thumbnail view does, for each FILE's
// preview bitmap of at most W x H, one after another, and tells each one's size
// and time by its number N, counting the files from 1; --save keeps each bitmap
// as FOLDER\N.bmp.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "plugin_host.h"
#include "screenshot.h"

namespace {

struct Options {
  std::wstring Plugin;
  std::wstring File;
  bool Embedded = false;
  int ListerWidth = 1000, ListerHeight = 700;
  int Views = 1;
  std::vector<std::wstring> Keys;
  std::vector<int> Commands;
  DWORD HoldMs = 0;
  std::wstring Screenshot;
  bool Qpc = false;
  bool NoClose = false;
  int ThumbnailWidth = 0, ThumbnailHeight = 0;  // a thumbnail run when set
  std::wstring SaveFolder;
  std::vector<std::wstring> MoreFiles;  // a thumbnail run's files after the first
};

UINT KeyCode(const std::wstring& name) {
  static const std::map<std::wstring, UINT> names = {
      {L"space", VK_SPACE},   {L"left", VK_LEFT},         {L"up", VK_UP},         {L"right", VK_RIGHT},
      {L"down", VK_DOWN},     {L"0", '0'},                {L"9", '9'},            {L"h", 'H'},
      {L"i", 'I'},            {L"m", 'M'},                {L"q", 'Q'},            {L"multiply", VK_MULTIPLY},
      {L"divide", VK_DIVIDE}, {L"semicolon", VK_OEM_1},   {L"apostrophe", VK_OEM_7}};
  const auto found = names.find(name);
  return found != names.end() ? found->second : static_cast<UINT>(wcstoul(name.c_str(), nullptr, 0));
}

std::vector<std::wstring> Split(const std::wstring& text) {
  std::vector<std::wstring> parts;
  size_t start = 0;
  for (size_t comma; (comma = text.find(L',', start)) != std::wstring::npos; start = comma + 1) {
    parts.push_back(text.substr(start, comma - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH * 4];
  std::wstring file(path, GetModuleFileNameW(nullptr, path, MAX_PATH * 4));
  return file.substr(0, file.find_last_of(L'\\') + 1);
}

bool ParseOptions(int count, wchar_t** arguments, Options& options) {
  options.Plugin = ProgramFolder() + (sizeof(void*) == 8 ? L"reelpane.wlx64" : L"reelpane.wlx");
  for (int i = 1; i < count; ++i) {
    const std::wstring argument = arguments[i];
    const bool hasValue = i + 1 < count;
    if (argument == L"--plugin" && hasValue) options.Plugin = arguments[++i];
    else if (argument == L"--embedded") options.Embedded = true;
    else if (argument == L"--lister" && hasValue) swscanf(arguments[++i], L"%dx%d", &options.ListerWidth, &options.ListerHeight);
    else if (argument == L"--views" && hasValue) options.Views = _wtoi(arguments[++i]);
    else if (argument == L"--keys" && hasValue) {
      for (const std::wstring& key : Split(arguments[++i])) options.Keys.push_back(key);
    } else if (argument == L"--command" && hasValue) options.Commands.push_back(_wtoi(arguments[++i]));
    else if (argument == L"--hold" && hasValue) options.HoldMs = static_cast<DWORD>(_wtoi(arguments[++i]));
    else if (argument == L"--screenshot" && hasValue) options.Screenshot = arguments[++i];
    else if (argument == L"--qpc") options.Qpc = true;
    else if (argument == L"--no-close") options.NoClose = true;
    else if (argument == L"--thumbnail" && hasValue) {
      swscanf(arguments[++i], L"%dx%d", &options.ThumbnailWidth, &options.ThumbnailHeight);
    } else if (argument == L"--save" && hasValue) options.SaveFolder = arguments[++i];
    else if (argument.rfind(L"--", 0) == 0) return false;
    else if (options.File.empty()) options.File = argument;
    else options.MoreFiles.push_back(argument);
  }
  if (!options.MoreFiles.empty() && options.ThumbnailWidth == 0) return false;
  return !options.File.empty() && options.Views > 0;
}

LONGLONG Frequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return frequency.QuadPart;
}

double Milliseconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(Frequency());
}

LARGE_INTEGER Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now;
}

// The file manager gives the view window the whole client area of its Lister window.
void FitViewToLister(HWND view, HWND lister) {
  RECT client{};
  GetClientRect(lister, &client);
  MoveWindow(view, 0, 0, client.right, client.bottom, TRUE);
}

// Wine sends the view its WM_NCPAINT only after BeginPaint has taken the update
// region, so the view's colour-key fill is clipped away. The screenshot sends it
// again with the region pending, so that the colour key shows where the video goes.
void PaintViewAsWindowsDoes(HWND view) {
  InvalidateRect(view, nullptr, FALSE);
  SendMessageW(view, WM_NCPAINT, 1, 0);
}

// The thumbnail view's part: each file's preview bitmap in turn, told by its number.
int TakeThumbnails(PluginHost& host, const Options& options) {
  std::vector<std::wstring> files = {options.File};
  files.insert(files.end(), options.MoreFiles.begin(), options.MoreFiles.end());
  for (size_t i = 0; i < files.size(); ++i) {
    const LARGE_INTEGER start = Now();
    HBITMAP bitmap = host.PreviewBitmap(files[i], options.ThumbnailWidth, options.ThumbnailHeight);
    const double milliseconds = Milliseconds(start, Now());
    BITMAP description{};
    if (bitmap != nullptr) GetObjectW(bitmap, sizeof(description), &description);
    std::printf("thumbnail %zu: %s %ld x %ld in %.1f ms\n", i + 1, bitmap != nullptr ? "bitmap" : "null",
                description.bmWidth, description.bmHeight, milliseconds);
    if (bitmap != nullptr && !options.SaveFolder.empty()) {
      const std::wstring path = options.SaveFolder + L"\\" + std::to_wstring(i + 1) + L".bmp";
      std::printf("saved: %ls\n", SaveBitmap(bitmap, path) ? path.c_str() : L"(failed)");
    }
    DeleteObject(bitmap);
    std::fflush(stdout);
  }
  return 0;
}

void PrintRect(const char* what, HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  std::printf("%s: x %ld, y %ld, width %ld, height %ld\n", what, rect.left, rect.top, rect.right - rect.left,
              rect.bottom - rect.top);
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
  Options options;
  if (!ParseOptions(count, arguments, options)) {
    std::fprintf(stderr, "usage: reelpane-host [--plugin FILE] [--embedded] [--lister WxH] [--views N] "
                         "[--keys K,K,...] [--command N] [--hold MS] [--screenshot BMP] [--qpc] [--no-close] FILE\n"
                         "       reelpane-host [--plugin FILE] --thumbnail WxH [--save FOLDER] FILE...\n");
    return 2;
  }
  PluginHost host(options.Plugin);
  if (!host.IsLoaded()) {
    std::fprintf(stderr, "cannot load %ls (error %lu)\n", options.Plugin.c_str(), GetLastError());
    return 1;
  }
  host.SetDefaultParams();
  if (options.ThumbnailWidth != 0) return TakeThumbnails(host, options);
  std::printf("detect string: %s\n", host.DetectString(256).substr(1).c_str());
  RECT desktop{};
  GetClientRect(GetDesktopWindow(), &desktop);
  std::printf("desktop: width %ld, height %ld\n", desktop.right - desktop.left, desktop.bottom - desktop.top);

  struct View {
    HWND Lister;
    HWND Window;
  };
  std::vector<View> views;
  for (int i = 0; i < options.Views; ++i) {
    HWND lister = options.Embedded ? CreateEmbeddedListerWindow() : CreateFreeListerWindow(options.ListerWidth, options.ListerHeight);
    PrintRect("lister before", lister);
    const LARGE_INTEGER start = Now();
    HWND window = host.LoadW(lister, options.File);
    const LARGE_INTEGER returned = Now();
    std::printf("open: %s in %.1f ms\n", window != nullptr ? "view shown" : "refused (null)", Milliseconds(start, returned));
    if (options.Qpc) std::printf("qpc: open returned %lld of %lld per second\n", returned.QuadPart, Frequency());
    PrintRect("lister after", lister);
    if (window != nullptr) FitViewToLister(window, lister);
    views.push_back({lister, window});
  }
  std::fflush(stdout);

  for (View& view : views) {
    if (view.Window == nullptr) continue;
    for (const std::wstring& key : options.Keys) {
      if (key.rfind(L"wait=", 0) == 0) {
        PumpMessages(static_cast<DWORD>(_wtoi(key.c_str() + 5)));
      } else if (key.rfind(L"shot=", 0) == 0) {
        const std::wstring path = key.substr(5);
        std::printf("screenshot: %ls\n", SaveWindowScreenshot(view.Lister, path) ? path.c_str() : L"(failed)");
      } else {
        SendMessageW(view.Window, WM_KEYDOWN, KeyCode(key), 1);
        std::printf("key: %ls (0x%02X)\n", key.c_str(), KeyCode(key));
      }
      std::fflush(stdout);
    }
    for (int command : options.Commands) std::printf("command %d: %d\n", command, host.SendCommand(view.Window, command));
  }
  std::fflush(stdout);

  if (options.NoClose) {
    for (;;) PumpMessages(INFINITE);
  }
  PumpMessages(options.HoldMs);
  if (!options.Screenshot.empty() && !views.empty()) {
    if (views.front().Window != nullptr) PaintViewAsWindowsDoes(views.front().Window);
    PumpMessages(200);  // Wine puts what was drawn on the screen while the thread waits for messages
    const bool saved = SaveWindowScreenshot(views.front().Lister, options.Screenshot);
    std::printf("screenshot: %ls\n", saved ? options.Screenshot.c_str() : L"(failed)");
  }
  for (View& view : views) {
    if (view.Window != nullptr) {
      const LARGE_INTEGER start = Now();
      host.CloseWindow(view.Window);
      std::printf("close: %.1f ms\n", Milliseconds(start, Now()));
    }
    DestroyListerWindow(view.Lister);
  }
  return 0;
}
