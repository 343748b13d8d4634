// relay-player: takes the player's place for the plugin under Wine, and has
// Debian's real mplayer or mpv play instead. Started by the plugin exactly as it
// starts its player, it hands its arguments to tools/relay-native (the Linux side,
// which must have started the host) with
//   - the program itself replaced by "mplayer -vo gl,x11 -ao null", or by
//     "mpv --vo=x11 --ao=null" when its command line names a control pipe
//     (--input-ipc-server=, as the plugin starts mpv for a view) or an image
//     folder (--vo-image-outdir=, as it starts mpv for a thumbnail),
//   - each absolute Windows path turned into its Linux path, the folder in mpv's
//     "--vo-image-outdir=..." too,
//   - the -wid (or --wid=) window turned into the X window of its top-level window
//     (a Wine child window has none of its own; the top-level's covers its client
//     area, which a free-standing Lister's view fills; an embedded view shares it
//     with the rest of the panel, so there the picture lands in the panel's middle),
// and nothing else changed; the player runs in the Linux folder of the relay's
// own current folder (where the plugin has MPlayer write a thumbnail's frame).
// It then copies its standard input to the player and
// the player's output to its standard output, byte for byte, and ends with the
// player's exit code when the player ends. For mpv it serves the control pipe
// itself, at once, as mpv would, and passes its bytes both ways between the
// plugin and the real mpv's own control socket (relay-native replaces the pipe's
// name with that socket's). VLC likewise: a command line naming a remote-control
// port (--rc-host=, as the plugin starts VLC) has "vlc --vout=xcb_x11 --aout=dummy"
// play, its --drawable-hwnd= window turned into --drawable-xid= as -wid is, its
// Windows-only --rc-quiet dropped; the relay listens on the port under Wine
// itself, at once, and passes its bytes both ways between the plugin and the real
// VLC's own port (relay-native chooses that one).
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "control_pipe_server.h"
#include "frame_command.h"
#include "relay_link.h"

namespace {

// Kept small so that a player whose output nobody reads stops printing about as
// soon as it would writing straight into the plugin's pipe; the native side keeps
// its end as small.
constexpr int kReceiveBufferBytes = 4096;

std::string Utf8(const std::wstring& text) {
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), needed, nullptr,
                      nullptr);
  return result;
}

bool IsAbsoluteWindowsPath(const std::wstring& text) {
  const bool drive = text.size() >= 3 && iswalpha(text[0]) && text[1] == L':' && text[2] == L'\\';
  return drive || text.rfind(L"\\\\", 0) == 0;
}

// Wine's own answer to where a Windows path lives on Linux.
std::optional<std::string> LinuxPath(const std::wstring& windowsPath) {
  using UnixFileNameFn = char*(CDECL*)(const wchar_t*);
  static const auto unixFileName = reinterpret_cast<UnixFileNameFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (unixFileName == nullptr) return std::nullopt;
  char* path = unixFileName(windowsPath.c_str());
  if (path == nullptr) return std::nullopt;
  std::string result(path);
  HeapFree(GetProcessHeap(), 0, path);
  return result;
}

// MPlayer's text is this build's handle text, mpv's an unsigned 32-bit decimal.
std::optional<std::string> XWindowOfTopLevel(const std::wstring& viewText) {
  const auto view = reinterpret_cast<HWND>(static_cast<INT_PTR>(_wcstoi64(viewText.c_str(), nullptr, 10)));
  const HWND topLevel = GetAncestor(view, GA_ROOT);
  const auto xWindow = reinterpret_cast<ULONG_PTR>(GetPropW(topLevel, L"__wine_x11_whole_window"));
  if (xWindow == 0) return std::nullopt;
  return std::to_string(xWindow);
}

struct RealPlayerLine {
  std::string Program;                 // "mplayer" or "mpv"
  std::string Folder;                  // the Linux folder to run it in; empty when there is none
  std::vector<std::string> Arguments;
  std::wstring ControlPipe;            // mpv's pipe or VLC's port, as the plugin named it
};

// The real player's command line, or nothing when the view window has no X window.
std::optional<RealPlayerLine> PlayerArguments() {
  constexpr std::wstring_view kControlPipe = L"--input-ipc-server=";
  constexpr std::wstring_view kMpvWindow = L"--wid=";
  constexpr std::wstring_view kMpvOutdir = L"--vo-image-outdir=";
  constexpr std::wstring_view kRcHost = L"--rc-host=";
  constexpr std::wstring_view kVlcWindow = L"--drawable-hwnd=";
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  RealPlayerLine line;
  bool mpv = false;  // the plugin's mpv command lines name a control pipe (a view) or an image folder (a thumbnail)
  bool vlc = false;  // its VLC command lines name a remote-control port
  for (int i = 1; i < count; ++i) {
    const std::wstring_view argument = arguments[i];
    if (argument.starts_with(kControlPipe)) line.ControlPipe = argument.substr(kControlPipe.size());
    if (argument.starts_with(kRcHost)) line.ControlPipe = argument.substr(kRcHost.size());
    mpv = mpv || argument.starts_with(kControlPipe) || argument.starts_with(kMpvOutdir);
    vlc = vlc || argument.starts_with(kRcHost);
  }
  line.Program = vlc ? "vlc" : mpv ? "mpv" : "mplayer";
  // MPlayer's OpenGL output scales the picture to the window, its shape kept, with
  // dark bars, as its Windows outputs do (its X11 output draws it at its own size);
  // the X11 output where there is no OpenGL. mpv and VLC scale with theirs.
  // VLC's dummy sound output has no level: ALSA's null device has one, and no sound.
  line.Arguments = vlc   ? std::vector<std::string>{"--vout=xcb_x11", "--aout=alsa", "--alsa-audio-device=null"}
                   : mpv ? std::vector<std::string>{"--vo=x11", "--ao=null"}
                         : std::vector<std::string>{"-vo", "gl,x11", "-ao", "null"};
  bool ok = true;
  for (int i = 1; i < count; ++i) {
    const std::wstring argument = arguments[i];
    if (argument == L"-wid" && i + 1 < count) {
      const std::optional<std::string> xWindow = XWindowOfTopLevel(arguments[++i]);
      ok = ok && xWindow.has_value();
      line.Arguments.push_back("-wid");
      line.Arguments.push_back(xWindow.value_or(""));
    } else if (argument == L"--rc-quiet") {
      continue;  // VLC knows it on Windows only
    } else if (argument.starts_with(kVlcWindow)) {
      const std::optional<std::string> xWindow = XWindowOfTopLevel(argument.substr(kVlcWindow.size()));
      ok = ok && xWindow.has_value();
      line.Arguments.push_back("--drawable-xid=" + xWindow.value_or(""));
    } else if (argument.starts_with(kMpvWindow)) {
      const std::optional<std::string> xWindow = XWindowOfTopLevel(argument.substr(kMpvWindow.size()));
      ok = ok && xWindow.has_value();
      line.Arguments.push_back("--wid=" + xWindow.value_or(""));
    } else if (argument.starts_with(kMpvOutdir) && IsAbsoluteWindowsPath(argument.substr(kMpvOutdir.size()))) {
      const std::wstring folder = argument.substr(kMpvOutdir.size());
      line.Arguments.push_back(Utf8(std::wstring(kMpvOutdir)) + LinuxPath(folder).value_or(Utf8(folder)));
    } else if (IsAbsoluteWindowsPath(argument)) {
      line.Arguments.push_back(LinuxPath(argument).value_or(Utf8(argument)));
    } else {
      line.Arguments.push_back(Utf8(argument));
    }
  }
  LocalFree(arguments);
  if (!ok) return std::nullopt;
  std::wstring current(GetCurrentDirectoryW(0, nullptr), L'\0');
  current.resize(GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data()));
  line.Folder = LinuxPath(current).value_or("");
  return line;
}

void Complain(const std::string& text) {
  DWORD written = 0;
  const std::string line = "relay-player: " + text + "\n";
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

bool WriteAll(HANDLE output, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    DWORD written = 0;
    if (!WriteFile(output, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr)) {
      return false;
    }
    done += written;
  }
  return true;
}

// Frames go out from two threads (standard input, the control pipe): one at a time.
CRITICAL_SECTION Sending;
RelayLink* Relay = nullptr;
ControlPipeServer* ControlPipe = nullptr;

bool Send(char type, std::string_view payload) {
  EnterCriticalSection(&Sending);
  const bool sent = Relay->Send(type, payload);
  LeaveCriticalSection(&Sending);
  return sent;
}

DWORD WINAPI CopyStandardInput(void*) {
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    if (!Send('I', std::string(buffer, got))) return 0;
  }
  Send('E', {});
  return 0;
}

// What the plugin writes on mpv's control pipe goes to the real mpv's socket.
DWORD WINAPI CopyControlPipe(void*) {
  if (!ControlPipe->AwaitClient()) return 0;
  char buffer[4096];
  DWORD got = 0;
  while (ControlPipe->Read(buffer, sizeof(buffer), got)) {
    if (!Send('C', std::string(buffer, got))) return 0;
  }
  return 0;
}

}  // namespace

int wmain() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  const std::optional<RealPlayerLine> line = PlayerArguments();
  if (!line) {
    Complain("the -wid window's top-level window has no X window (Wine's X11 driver is needed)");
    return 1;
  }
  // Served before anything else, as mpv does early in its start: the plugin waits for it.
  if (!line->ControlPipe.empty()) ControlPipe = new ControlPipeServer(line->ControlPipe);
  std::optional<RelayLink> relay = RelayLink::Connect(kReceiveBufferBytes);
  if (!relay) {
    Complain("cannot reach tools/relay-native (REELPANE_RELAY_PORT)");
    return 1;
  }
  Relay = &*relay;
  InitializeCriticalSection(&Sending);
  std::string hello = std::to_string(GetCurrentProcessId());
  hello += '\0';
  hello += line->Program;
  hello += '\0';
  hello += line->Folder;
  hello += '\0';
  for (const std::string& argument : line->Arguments) {
    hello += argument;
    hello += '\0';
  }
  if (!Send('H', hello)) return 1;
  CloseHandle(CreateThread(nullptr, 0, CopyStandardInput, nullptr, 0, nullptr));
  if (ControlPipe != nullptr) CloseHandle(CreateThread(nullptr, 0, CopyControlPipe, nullptr, 0, nullptr));

  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  char type = 0;
  std::string payload;
  while (relay->Receive(type, payload)) {
    if (type == 'O') WriteAll(output, payload);
    if (type == 'K' && ControlPipe != nullptr) ControlPipe->Write(payload);
    // The standard-input thread may be blocked in its read: end the process under it.
    if (type == 'X') ExitProcess(static_cast<UINT>(std::strtol(payload.c_str(), nullptr, 10)));
  }
  Complain("tools/relay-native went away before the player ended");
  ExitProcess(1);
}
