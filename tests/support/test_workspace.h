#pragma once
#include <windows.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "plugin_host.h"

// A private plugin folder for one test: a copy of the built plugin file, the
// stand-in player and a reelpane.ini written by the test, loaded in the host stand-in.

// The folder holding the test binary and everything built next to it.
std::wstring BuildFolder();
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
bool FileExists(const std::wstring& path);
std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string Utf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);
// A Linux path (UTF-8) as this process sees it: Wine shows the Linux root as drive Z:.
// Anything else is taken as a Windows path already.
std::wstring WindowsPathOf(const std::string& path);

// How many times slower than this machine the tests run: REELPANE_TIME_SCALE, set
// by the 32-bit lane (an emulated machine), else 1. Time bounds scale their slack
// by it, never the plugin's own bounds.
double TimeScale();
inline double ScaledMs(double milliseconds) { return milliseconds * TimeScale(); }

// Polls |condition| until it holds or |timeout| (scaled) passes, pumping this thread's messages.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Milliseconds since it was made, by the performance counter.
class Stopwatch {
 public:
  Stopwatch() { QueryPerformanceCounter(&start_); }
  double Milliseconds() const {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) / static_cast<double>(frequency.QuadPart);
  }

 private:
  LARGE_INTEGER start_;
};

enum class SettingsEncoding { Ansi, Utf16, Utf8WithBom, Utf8 };

// A window handle as the player's command line gives it: the 64-bit build writes a
// signed 64-bit number, the 32-bit build an unsigned 32-bit one.
inline std::wstring HandleText(HWND window) {
  if constexpr (sizeof(HWND) == 8) return std::to_wstring(reinterpret_cast<std::intptr_t>(window));
  return std::to_wstring(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(window)));
}

// This build's plugin file of that name: the 32-bit file manager loads .wlx, the 64-bit one .wlx64.
inline std::wstring PluginFileName(const std::wstring& stem = L"reelpane") {
  return stem + (sizeof(void*) == 8 ? L".wlx64" : L".wlx");
}

// What one stand-in player recorded.
class PlayerLog {
 public:
  explicit PlayerLog(std::wstring folder) : folder_(std::move(folder)) {}
  const std::wstring& Folder() const { return folder_; }
  bool Started() const;
  std::wstring CommandLine() const;
  std::vector<std::wstring> CommandLines() const;  // one for each player that recorded here, in order
  std::string StandardInput() const;      // every byte it read, in order
  std::string ControlPipeInput() const;   // every byte it read on the control pipe it served (mpv), in order
  std::vector<std::string> Events() const;  // "start", "command quit", "exit", ...
  bool HasEvent(const std::string& event) const;
  // When |event| was first recorded (QueryPerformanceCounter, one clock for every
  // process of a Wine prefix); nothing when it was not.
  std::optional<long long> EventStamp(const std::string& event) const;
  DWORD ProcessId() const;               // the first player that recorded here
  std::vector<DWORD> ProcessIds() const;  // every player that recorded here
  // Waits until the player has read exactly |bytes| (or more) on standard input.
  bool WaitForInput(const std::string& bytes, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  // The same for the control pipe.
  bool WaitForControlPipeInput(const std::string& bytes,
                               std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
  bool WaitForEvent(const std::string& event, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;

 private:
  std::wstring folder_;
};

struct OpenedView {
  HWND View = nullptr;
  PlayerLog Log;
};

// ListLoadNextW's result and the log of the player it started, if any.
struct LoadedNext {
  int Result = 1;
  PlayerLog Log;
};

struct TakenThumbnail {
  HBITMAP Bitmap = nullptr;  // the caller's to delete
  PlayerLog Log;
  double Milliseconds = 0;  // how long ListGetPreviewBitmapW took
};

// In the emulated 32-bit lane a program takes seconds to start: a player may not
// get to its frame within the plugin's own bound there. A null that came only
// with the bound is the plugin's answer to that, and is taken only in that lane.
bool BoundReachedInASlowLane(const TakenThumbnail& taken);

class TestWorkspace {
 public:
  // |pluginFileName| is taken from the build folder.
  explicit TestWorkspace(const std::wstring& pluginFileName = PluginFileName());
  TestWorkspace(const TestWorkspace&) = delete;
  TestWorkspace& operator=(const TestWorkspace&) = delete;
  ~TestWorkspace();

  const std::wstring& Folder() const { return folder_; }
  std::wstring PluginPath() const { return JoinPath(folder_, pluginFileName_); }
  // The stand-in player (or another |program| built next to the tests) copied into
  // the plugin folder (or a subfolder) under |relativeName|.
  std::wstring InstallPlayer(const std::wstring& relativeName = L"standin-player.exe",
                             const std::wstring& program = L"standin-player.exe");
  std::wstring MakeFolder(const std::wstring& relativeName);
  // The stand-in launcher copied into the plugin folder under |relativeName|, with
  // the shim file beside it that has it start |target| (a full path), as a package
  // manager's shim starts the real player.
  std::wstring InstallLauncher(const std::wstring& relativeName, const std::wstring& target);

  // Writes reelpane.ini with the keys given, in section "config".
  void WriteSettings(const std::vector<std::pair<std::wstring, std::wstring>>& keys,
                     SettingsEncoding encoding = SettingsEncoding::Utf16);
  // The usual settings: the stand-in player next to the plugin, no parameters, |viewSize|.
  void WriteDefaultSettings(const std::wstring& viewSize = L"");
  // The same with the stand-in as mpv: installed as mpv.exe, which makes the plugin speak mpv's dialect.
  void WriteMpvSettings(const std::wstring& viewSize = L"");

  PluginHost& Host() { return *host_; }
  // Loads the plugin (and calls ListSetDefaultParams unless told not to).
  PluginHost& LoadPlugin(bool setDefaultParams = true);

  // Opens |fileName| in |lister| with a stand-in player running |script|; the
  // player records into a fresh folder.
  OpenedView Open(HWND lister, const std::string& script, const std::wstring& fileName = L"C:\\videos\\clip.avi");
  // Loads the next file into the open |view| the same way.
  LoadedNext OpenNext(HWND lister, HWND view, const std::string& script,
                      const std::wstring& fileName = L"C:\\videos\\next.avi");
  // Asks for |fileName|'s thumbnail of at most |width| x |height| with stand-in
  // players running |script|, all recording into one fresh folder.
  TakenThumbnail Thumbnail(const std::string& script, const std::wstring& fileName, int width, int height);
  // The log the player of the next Open, OpenNext or Thumbnail will record into:
  // for host code that must wait until that player has started.
  PlayerLog NextPlayerLog() const { return PlayerLog(JoinPath(folder_, L"player-" + std::to_wstring(views_ + 1))); }

  // Processes of this test process still running, by program name and id: its
  // children (Wine's own system programs aside) and whatever runs a program
  // installed into one of its workspaces.
  static std::vector<std::wstring> RunningChildProcesses();

 private:
  // A fresh log folder for the player that |call| starts with |script|.
  PlayerLog WithStandInPlayer(const std::string& script, const std::function<void()>& call);

  std::wstring pluginFileName_;
  std::wstring folder_;
  std::unique_ptr<PluginHost> host_;
  int views_ = 0;
};

// Identification output of a player that plays a |width| by |height| video.
std::string IdentifyScript(int width, int height, bool crlf = false);

// The stand-in as mpv: one write of these JSON lines to the control pipe's client.
std::string MpvPipeWrite(const std::vector<std::string>& lines);
// mpv's property-change event for |name|, with |data| as JSON (empty: not available).
std::string MpvPropertyChange(int id, const std::string& name, const std::string& data);
// What mpv reports once a |width| by |height| video is loaded: its replies to the
// plugin's requests, its video track, its display size.
std::string MpvIdentifyScript(int width, int height);

// Closes any message box this process shows, from a watcher thread, and keeps
// the caption and text of the first one.
class MessageBoxWatcher {
 public:
  MessageBoxWatcher();
  MessageBoxWatcher(const MessageBoxWatcher&) = delete;
  MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;
  ~MessageBoxWatcher();
  // Caption and text of the first box seen since the last call, if any.
  std::optional<std::pair<std::wstring, std::wstring>> Take();

 private:
  static DWORD WINAPI Watch(void* self);
  HANDLE stop_ = nullptr;
  HANDLE thread_ = nullptr;
  CRITICAL_SECTION lock_;
  std::optional<std::pair<std::wstring, std::wstring>> seen_;
};

// Open handles of this process.
DWORD HandleCount();
// GDI objects of this process.
DWORD GdiObjectCount();
