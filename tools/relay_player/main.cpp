// relay-player: takes MPlayer's place for the plugin under Wine, and has Debian's
// real mplayer play instead. Started by the plugin exactly as it starts MPlayer,
// it hands its arguments to tools/relay-native (the Linux side, which must have
// started the host) with
//   - the program itself replaced by "mplayer -vo x11 -ao null",
//   - each absolute Windows path turned into its Linux path, the folder in
//     "-vo png:outdir=..." too (requoted: MPlayer counts a quoted value's bytes),
//   - the -wid window turned into the X window of its top-level window (a Wine
//     child window has none of its own; the top-level's covers its client area,
//     which a free-standing Lister's view fills; an embedded view shares it with
//     the rest of the panel, so there the picture lands in the panel's middle),
// and nothing else changed. It then copies its standard input to the player and
// the player's output to its standard output, byte for byte, and ends with the
// player's exit code when the player ends.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <cwctype>
#include <optional>
#include <string>
#include <vector>

#include "frame_command.h"
#include "mplayer_outdir.h"
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

std::wstring Wide(const std::string& utf8) {
  const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), result.data(), needed);
  return result;
}

// A "-vo" value with the folder of its "outdir" sub-option as Linux sees it.
std::wstring WithLinuxOutdir(const std::wstring& vo) {
  const std::optional<MPlayerOutdir> outdir = FindMPlayerOutdir(vo);
  if (!outdir || !IsAbsoluteWindowsPath(outdir->Folder)) return vo;
  const std::optional<std::string> linux = LinuxPath(outdir->Folder);
  if (!linux) return vo;
  std::wstring translated = vo;
  translated.replace(outdir->Offset, outdir->Length, QuoteMPlayerSubOption(Wide(*linux)));
  return translated;
}

std::optional<std::string> XWindowOfTopLevel(const std::wstring& viewText) {
  const auto view = reinterpret_cast<HWND>(static_cast<INT_PTR>(_wcstoi64(viewText.c_str(), nullptr, 10)));
  const HWND topLevel = GetAncestor(view, GA_ROOT);
  const auto xWindow = reinterpret_cast<ULONG_PTR>(GetPropW(topLevel, L"__wine_x11_whole_window"));
  if (xWindow == 0) return std::nullopt;
  return std::to_string(xWindow);
}

// The real player's arguments, or nothing when the -wid window has no X window.
std::optional<std::vector<std::string>> PlayerArguments() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> translated = {"-vo", "x11", "-ao", "null"};
  bool ok = true;
  for (int i = 1; i < count; ++i) {
    const std::wstring argument = arguments[i];
    if (argument == L"-wid" && i + 1 < count) {
      const std::optional<std::string> xWindow = XWindowOfTopLevel(arguments[++i]);
      ok = ok && xWindow.has_value();
      translated.push_back("-wid");
      translated.push_back(xWindow.value_or(""));
    } else if (argument == L"-vo" && i + 1 < count) {
      translated.push_back("-vo");
      translated.push_back(Utf8(WithLinuxOutdir(arguments[++i])));
    } else if (IsAbsoluteWindowsPath(argument)) {
      translated.push_back(LinuxPath(argument).value_or(Utf8(argument)));
    } else {
      translated.push_back(Utf8(argument));
    }
  }
  LocalFree(arguments);
  if (!ok) return std::nullopt;
  return translated;
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

DWORD WINAPI CopyStandardInput(void* link) {
  auto* relay = static_cast<RelayLink*>(link);
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    if (!relay->Send('I', std::string(buffer, got))) return 0;
  }
  relay->Send('E', {});
  return 0;
}

}  // namespace

int wmain() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  const std::optional<std::vector<std::string>> arguments = PlayerArguments();
  if (!arguments) {
    Complain("the -wid window's top-level window has no X window (Wine's X11 driver is needed)");
    return 1;
  }
  std::optional<RelayLink> relay = RelayLink::Connect(kReceiveBufferBytes);
  if (!relay) {
    Complain("cannot reach tools/relay-native (REELPANE_RELAY_PORT)");
    return 1;
  }
  std::string hello = std::to_string(GetCurrentProcessId());
  hello += '\0';
  for (const std::string& argument : *arguments) {
    hello += argument;
    hello += '\0';
  }
  if (!relay->Send('H', hello)) return 1;
  CloseHandle(CreateThread(nullptr, 0, CopyStandardInput, &*relay, 0, nullptr));

  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  char type = 0;
  std::string payload;
  while (relay->Receive(type, payload)) {
    if (type == 'O') WriteAll(output, payload);
    // The standard-input thread may be blocked in its read: end the process under it.
    if (type == 'X') ExitProcess(static_cast<UINT>(std::strtol(payload.c_str(), nullptr, 10)));
  }
  Complain("tools/relay-native went away before the player ended");
  ExitProcess(1);
}
