// The file manager's part in the bench (tools/bench): loads the plugin into the
// host stand-in, repeats one measurement and prints performance-counter stamps,
// which tools/bench sets against the stand-in player's time-stamped events (one
// clock for every process of a Wine prefix). Prints figures only; judges nothing.
//
//   reelpane-bench-host PLUGIN close|keys|next RUNS FILE
//   reelpane-bench-host PLUGIN cycle RUNS PLAYER FILE
//   reelpane-bench-host PLUGIN thumbnail RUNS WxH FILE
//
//   close  RUNS views opened one after another; "close BEFORE AFTER" around each
//          ListCloseWindow
//   keys   one view; RUNS Space keys, 20 ms apart; "key BEFORE" as each is sent
//   cycle  RUNS times, in turn: a view opened and closed, "cycle BEFORE AFTER" around
//          ListLoadW and ListCloseWindow together; then PLAYER alone, as the plugin
//          starts it but without the plugin (pipes, the process, its output read up
//          to its length line, "quit", its exit awaited), "bare BEFORE AFTER". Taken
//          in turn, both meet the same state of a noisy machine.
//   next   one view; RUNS times, in turn: the next file loaded into it, "next BEFORE
//          AFTER" around ListLoadNextW; then the file shown the old way, "reload BEFORE
//          AFTER" around ListCloseWindow and ListLoadW together
//   thumbnail  RUNS calls of ListGetPreviewBitmapW for FILE, at most W x H, one after
//          another; "thumbnail BEFORE AFTER" around each call that gave a bitmap
//          (the bitmap deleted after the stamp), "null BEFORE AFTER" otherwise
// The first line printed is "frequency F" (counts per second).
#include <windows.h>

#include <cstdio>
#include <string>

#include "plugin_host.h"

namespace {

LONGLONG Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

int Close(PluginHost& host, int runs, const std::wstring& file) {
  HWND lister = CreateFreeListerWindow();
  for (int i = 0; i < runs; ++i) {
    HWND view = host.LoadW(lister, file);
    if (view == nullptr) return 1;
    PumpMessages(20);  // the player settles, as a user looks at the video
    const LONGLONG before = Now();
    host.CloseWindow(view);
    const LONGLONG after = Now();
    std::printf("close %lld %lld\n", before, after);
  }
  DestroyListerWindow(lister);
  return 0;
}

int Keys(PluginHost& host, int runs, const std::wstring& file) {
  HWND lister = CreateFreeListerWindow();
  HWND view = host.LoadW(lister, file);
  if (view == nullptr) return 1;
  for (int i = 0; i < runs; ++i) {
    PumpMessages(20);  // one key at a time: each read brings one command
    const LONGLONG before = Now();
    SendMessageW(view, WM_KEYDOWN, VK_SPACE, 1);
    std::printf("key %lld\n", before);
  }
  host.CloseWindow(view);
  DestroyListerWindow(lister);
  return 0;
}

// One start and stop of the player without the plugin, in the plainest way.
bool BareCycle(const std::wstring& player, const std::wstring& file) {
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE outputRead = nullptr, outputWrite = nullptr, commandRead = nullptr, commandWrite = nullptr;
  CreatePipe(&outputRead, &outputWrite, &inheritable, 0);
  CreatePipe(&commandRead, &commandWrite, &inheritable, 0);
  SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(commandWrite, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = commandRead;
  startup.hStdOutput = outputWrite;
  startup.hStdError = outputWrite;
  std::wstring commandLine = L"\"" + player + L"\" -quiet -slave -identify -wid 0 -colorkey 0x101010 \"" + file + L"\"";
  PROCESS_INFORMATION started{};
  const bool ok = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                                 nullptr, &startup, &started) != FALSE;
  CloseHandle(outputWrite);
  CloseHandle(commandRead);
  if (ok) {
    CloseHandle(started.hThread);
    std::string output;
    char buffer[1024];
    DWORD got = 0;
    while (output.find("ID_LENGTH") == std::string::npos &&
           ReadFile(outputRead, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
      output.append(buffer, got);
    }
    DWORD written = 0;
    WriteFile(commandWrite, "quit\n", 5, &written, nullptr);
    WaitForSingleObject(started.hProcess, INFINITE);
    CloseHandle(started.hProcess);
  }
  CloseHandle(outputRead);
  CloseHandle(commandWrite);
  return ok;
}

int Cycle(PluginHost& host, int runs, const std::wstring& file, const std::wstring& player) {
  HWND lister = CreateFreeListerWindow();
  for (int i = 0; i < runs; ++i) {
    LONGLONG before = Now();
    HWND view = host.LoadW(lister, file);
    host.CloseWindow(view);
    LONGLONG after = Now();
    if (view == nullptr) return 1;
    std::printf("cycle %lld %lld\n", before, after);
    before = Now();
    if (!BareCycle(player, file)) return 1;
    after = Now();
    std::printf("bare %lld %lld\n", before, after);
  }
  DestroyListerWindow(lister);
  return 0;
}

int Next(PluginHost& host, int runs, const std::wstring& file) {
  HWND lister = CreateFreeListerWindow();
  HWND view = host.LoadW(lister, file);
  for (int i = 0; i < runs && view != nullptr; ++i) {
    PumpMessages(20);  // the player settles, as a user looks at the video
    LONGLONG before = Now();
    const int result = host.LoadNextW(lister, view, file);
    LONGLONG after = Now();
    if (result != 0) return 1;
    std::printf("next %lld %lld\n", before, after);
    PumpMessages(20);
    before = Now();
    host.CloseWindow(view);
    view = host.LoadW(lister, file);
    after = Now();
    std::printf("reload %lld %lld\n", before, after);
  }
  if (view == nullptr) return 1;
  host.CloseWindow(view);
  DestroyListerWindow(lister);
  return 0;
}

int Thumbnail(PluginHost& host, int runs, const std::wstring& size, const std::wstring& file) {
  int width = 0, height = 0;
  if (swscanf(size.c_str(), L"%dx%d", &width, &height) != 2) return 2;
  for (int i = 0; i < runs; ++i) {
    const LONGLONG before = Now();
    HBITMAP bitmap = host.PreviewBitmap(file, width, height);
    const LONGLONG after = Now();
    std::printf("%s %lld %lld\n", bitmap != nullptr ? "thumbnail" : "null", before, after);
    DeleteObject(bitmap);
  }
  return 0;
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
  const std::wstring mode = count > 2 ? arguments[2] : L"";
  if (count != (mode == L"cycle" || mode == L"thumbnail" ? 6 : 5)) {
    std::fprintf(stderr, "usage: reelpane-bench-host PLUGIN close|keys|next RUNS FILE\n"
                         "       reelpane-bench-host PLUGIN cycle RUNS PLAYER FILE\n"
                         "       reelpane-bench-host PLUGIN thumbnail RUNS WxH FILE\n");
    return 2;
  }
  const std::wstring plugin = arguments[1], file = arguments[count - 1];
  const int runs = _wtoi(arguments[3]);
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::printf("frequency %lld\n", frequency.QuadPart);

  PluginHost host(plugin);
  if (!host.IsLoaded()) {
    std::fprintf(stderr, "cannot load %ls\n", plugin.c_str());
    return 1;
  }
  host.SetDefaultParams();
  if (mode == L"close") return Close(host, runs, file);
  if (mode == L"keys") return Keys(host, runs, file);
  if (mode == L"cycle") return Cycle(host, runs, file, arguments[4]);
  if (mode == L"next") return Next(host, runs, file);
  if (mode == L"thumbnail") return Thumbnail(host, runs, arguments[4], file);
  std::fprintf(stderr, "unknown measurement %ls\n", mode.c_str());
  return 2;
}
