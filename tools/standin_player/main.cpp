// The stand-in player: a console program that takes the player's place in tests.
// It records its exact command line and every byte it reads on standard input,
// and writes scripted output with exact chunking (one WriteFile per "write").
//
// Environment (inherited from the host that starts it):
//   REELPANE_STANDIN_LOG     folder for cmdline.txt (UTF-8), cmdlines.txt and pid.txt (a line per
//                            player: several may share the folder), stdin.bin, events.txt
//   REELPANE_STANDIN_SCRIPT  directives, one per line:
//     write TEXT             one write of TEXT (escapes \n \r \t \0 \\ \xHH)
//     stamped-write TEXT     the same, with a "wrote" event stamped just before the write
//                            and logged after it (for timings from the write on)
//     replay PATH CHUNK MS   a file's bytes in writes of CHUNK bytes, MS apart
//     repeat COUNT MS TEXT   COUNT writes of TEXT (escaped as for write), MS apart
//     flood BYTES            BYTES letters without a line feed
//     sleep MS | exit CODE | crash
//     ignore-quit            "quit" no longer ends the player
//     quit-code CODE         the exit code "quit" ends the player with (0 unless set)
//     stop-reading           standard input is no longer read (its pipe fills up)
//     resume-reading         standard input is read again
//     await-file NAME        waits until a file NAME appears in the log folder (a test's go-ahead)
//     close-stdin            standard input is closed (the host's writes then fail)
//     child-window           a window of ours inside the -wid window, as a real player makes
//     mark NAME              a time-stamped line in events.txt
//     await LINE             waits until standard input has brought the command LINE
//     key CODE               sends WM_KEYDOWN CODE (decimal) to the -wid window, as a player
//                            whose window passes keys on would, and waits for the answer
//
// It speaks mpv's dialect too. Started with "--input-ipc-server=NAME", as the plugin
// starts mpv, it serves the control pipe NAME from its start, as mpv does, and takes
// commands there as on standard input: logged in control.bin, "command LINE" events,
// "await" and "quit" alike. "--wid=N" names the window as "-wid N" does.
//     no-pipe                the control pipe is never served (an mpv too old to know it)
//     serve-pipe             the control pipe is served only here, not from the start
//     pipe write TEXT        the same as without "pipe", written to the control pipe's
//     pipe stamped-write TEXT  client once one has connected; a write waits while the
//     pipe repeat COUNT MS TEXT  pipe is full, as mpv's do
//     pipe flood BYTES
//     pipe stop-reading      the control pipe is no longer read (its buffer fills up)
//     pipe resume-reading    the control pipe is read again
//
// And VLC's: started with "--rc-host=127.0.0.1:PORT", as the plugin starts VLC, it
// listens on that loopback port from its start instead of a pipe ("no-pipe",
// "serve-pipe" and "pipe ..." act on it alike), greets its client as VLC's remote
// control does, and answers each command line with VLC's "> " prompt: "info"
// with the text "rc-info" set last (nothing before: no file opened yet),
// "get_time" with "rc-time"'s seconds (0 before), "quit" with "Bye-bye!" and the
// end of the connection only, "shutdown" with "Shutting down." and its end.
// Its sound level starts at 256, VLC's 100 %: "volume" answers it, "volume N"
// sets it, and "volup N" / "voldown N" move it by N of VLC's steps (12.8) and
// answer "( audio volume: LEVEL )", as VLC does.
//     rc-info TEXT           the answer to "info" from now on (escaped as for write)
//     rc-time SECONDS        the answer to "get_time" from now on
//     image [PATH]           copies the file PATH (by default the command line's last argument, the
//                            video, with ".png" added) as the frame the command line asks for (MPlayer's
//                            "-vo png:outdir=..." or mpv's "--vo-image-outdir=..."), named as the
//                            players name it; an "image" event, or "no-image-folder" when none is asked for
//     image-bytes TEXT       the same with TEXT (escaped as for write) as the image file's bytes
//     exit-after-frame       ends with exit code 0, as a player does once its frame is written, unless
//                            its options keep it running as they keep the real players: mpv's --idle=yes,
//                            --pause, --keep-open=yes|always, --loop-file=inf, --loop-playlist=inf,
//                            --ab-loop-a/b; MPlayer's -idle, -loop 0 or -loop -1 (the last of each counts);
//                            then it stays ("held")
//
// As MPlayer does, it takes the image's folder from "-vo png:outdir=..." after
// cutting "-vo" at its first comma (a quoted outdir cut there is an error: no
// image), and writes into its current folder when "-vo png" names none.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <iterator>
#include <string>
#include <vector>

#include "control_pipe_server.h"
#include "frame_command.h"
#include "standin_script.h"

namespace {

std::wstring LogFolder;
std::atomic<bool> IgnoreQuit{false};
std::atomic<UINT> QuitCode{0};
// Whether a source of commands is read; the event is set while it is.
struct ReadingState {
  std::atomic<bool> Stopped{false};
  HANDLE Resumed = nullptr;
};
ReadingState StandardInputReading;
ReadingState ControlPipeReading;
HANDLE Stdin = INVALID_HANDLE_VALUE;
HWND ChildWindow = nullptr;
DWORD MainThread = 0;
// Every command line read so far, for "await"; the event is set after each one
// and when a source of commands ends.
CRITICAL_SECTION CommandsLock;
std::vector<std::string> CommandsRead;
int OpenCommandSources = 0;  // standard input and the control pipe, while they may still bring commands
HANDLE CommandRead = nullptr;
// mpv's control pipe, or VLC's remote-control port, served when the command line names one.
ControlPipeServer* ControlPipe = nullptr;
bool RemoteControl = false;  // the port is VLC's: its greeting, its prompt, its answers
CRITICAL_SECTION RcLock;
std::string RcInfo;
size_t RcTime = 0;
double RcVolume = 256;  // VLC's 100 %
constexpr char kRcGreeting[] = "VLC media player 3.0.24 Vetinari\nCommand Line Interface initialized. Type `help' for help.\r\n> ";

// user32, loaded by the first directive that needs a window or a message: most
// players never do, and loading it costs a start more than a second in the
// emulated 32-bit lane, where the plugin's identification bound counts the start.
struct User32Functions {
  decltype(&::CreateWindowExW) CreateWindowExW;
  decltype(&::DefWindowProcW) DefWindowProcW;
  decltype(&::DestroyWindow) DestroyWindow;
  decltype(&::DispatchMessageW) DispatchMessageW;
  decltype(&::GetMessageW) GetMessageW;
  decltype(&::PostThreadMessageW) PostThreadMessageW;
  decltype(&::RegisterClassW) RegisterClassW;
  decltype(&::SendMessageTimeoutW) SendMessageTimeoutW;
};

template <typename Function>
void Resolve(HMODULE module, const char* name, Function& function) {
  function = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const User32Functions& User32() {
  static const User32Functions functions = [] {
    const HMODULE module = LoadLibraryW(L"user32.dll");
    User32Functions loaded{};
    Resolve(module, "CreateWindowExW", loaded.CreateWindowExW);
    Resolve(module, "DefWindowProcW", loaded.DefWindowProcW);
    Resolve(module, "DestroyWindow", loaded.DestroyWindow);
    Resolve(module, "DispatchMessageW", loaded.DispatchMessageW);
    Resolve(module, "GetMessageW", loaded.GetMessageW);
    Resolve(module, "PostThreadMessageW", loaded.PostThreadMessageW);
    Resolve(module, "RegisterClassW", loaded.RegisterClassW);
    Resolve(module, "SendMessageTimeoutW", loaded.SendMessageTimeoutW);
    return loaded;
  }();
  return functions;
}

std::wstring Environment(const wchar_t* name) {
  const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return {};
  std::wstring value(needed, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), needed));
  return value;
}

void AppendToLog(const wchar_t* name, const std::string& bytes) {
  if (LogFolder.empty()) return;
  const std::wstring path = LogFolder + L"\\" + name;
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

LONGLONG Now() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

void RecordEventAt(LONGLONG when, const std::string& what) {
  AppendToLog(L"events.txt", std::to_string(when) + " " + what + "\n");
}

void RecordEvent(const std::string& what) { RecordEventAt(Now(), what); }

std::string Utf8(const std::wstring& text) {
  const int needed = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string result(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), needed, nullptr,
                      nullptr);
  return result;
}

void WriteOut(const std::string& bytes) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

[[noreturn]] void Exit(UINT code) {
  RecordEvent("exit");
  ExitProcess(code);
}

// A child window belongs to the main thread, which must destroy it before the exit.
void Quit() {
  if (ChildWindow == nullptr) Exit(QuitCode);
  User32().PostThreadMessageW(MainThread, WM_QUIT, 0, 0);
}

// Where commands come from: standard input, or the control pipe.
struct CommandSource {
  bool (*Read)(char* buffer, DWORD size, DWORD& got);
  const wchar_t* LogName;
  ReadingState* Reading;  // stopped: the source is not read for now
  const char* EndEvent;
};

bool ReadStandardInput(char* buffer, DWORD size, DWORD& got) {
  return ReadFile(Stdin, buffer, size, &got, nullptr) != FALSE;
}

bool ReadControlPipe(char* buffer, DWORD size, DWORD& got) { return ControlPipe->Read(buffer, size, got); }

extern const CommandSource ControlPipeSource;

// VLC's remote control answers each line, and ends with the prompt.
void AnswerAsVlc(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  EnterCriticalSection(&RcLock);
  std::string answer = line == "info" ? RcInfo : line == "get_time" ? std::to_string(RcTime) + "\r\n" : "";
  const size_t blank = line.find(' ');
  const std::string verb = line.substr(0, blank);
  const double argument = blank == std::string::npos ? 1 : std::atof(line.c_str() + blank + 1);
  if (verb == "volup" || verb == "voldown") {
    RcVolume = std::clamp(RcVolume + (verb == "volup" ? 12.8 : -12.8) * argument, 0.0, 512.0);
    answer = "( audio volume: " + std::to_string(std::lround(RcVolume)) + " )\r\n";
  } else if (verb == "volume" && blank == std::string::npos) {
    answer = std::to_string(std::lround(RcVolume)) + "\r\n";
  } else if (verb == "volume") {
    RcVolume = std::clamp(argument, 0.0, 512.0);
  }
  LeaveCriticalSection(&RcLock);
  if (line == "quit") {
    ControlPipe->Write("Bye-bye!\r\n");
    ControlPipe->Disconnect();
    return;
  }
  if (line == "shutdown") {
    ControlPipe->Write("Shutting down.\r\n");
    if (!IgnoreQuit) Quit();
    return;
  }
  ControlPipe->Write(answer + "> ");
}

DWORD WINAPI ReadCommands(void* context) {
  const auto& source = *static_cast<const CommandSource*>(context);
  std::string line;
  char buffer[512];
  for (;;) {
    while (source.Reading->Stopped) WaitForSingleObject(source.Reading->Resumed, INFINITE);
    DWORD got = 0;
    const bool read = source.Read(buffer, sizeof(buffer), got);
    const LONGLONG readAt = Now();  // the commands' stamps: when their bytes arrived, not when logged
    if (!read || got == 0) {
      RecordEvent(source.EndEvent);
      EnterCriticalSection(&CommandsLock);
      --OpenCommandSources;
      LeaveCriticalSection(&CommandsLock);
      SetEvent(CommandRead);
      return 0;
    }
    AppendToLog(source.LogName, std::string(buffer, got));
    for (DWORD i = 0; i < got; ++i) {
      if (buffer[i] != '\n') {
        line += buffer[i];
        continue;
      }
      RecordEventAt(readAt, "command " + line);
      EnterCriticalSection(&CommandsLock);
      CommandsRead.push_back(line);
      LeaveCriticalSection(&CommandsLock);
      SetEvent(CommandRead);
      if (RemoteControl && &source == &ControlPipeSource) {
        AnswerAsVlc(line);
      } else if (line == "quit" && !IgnoreQuit) {
        Quit();
      }
      line.clear();
    }
  }
}

const CommandSource StandardInputSource{ReadStandardInput, L"stdin.bin", &StandardInputReading, "stdin-ended"};
extern const CommandSource ControlPipeSource;
const CommandSource ControlPipeSource{ReadControlPipe, L"control.bin", &ControlPipeReading, "pipe-ended"};

// The C runtime's own argument list, not shell32's, which would bring user32 into
// every start (see User32()).
HWND ViewWindowFromCommandLine() {
  HWND view = nullptr;
  for (int i = 0; i < __argc; ++i) {
    const std::wstring argument = __wargv[i];
    if (argument == L"-wid" && i + 1 < __argc) {
      view = reinterpret_cast<HWND>(_wcstoi64(__wargv[i + 1], nullptr, 10));
    } else if (argument.rfind(L"--wid=", 0) == 0) {
      view = reinterpret_cast<HWND>(static_cast<UINT_PTR>(_wcstoui64(argument.c_str() + 6, nullptr, 10)));
    }
  }
  return view;
}

// The control pipe that "--input-ipc-server=NAME" names, or VLC's port that
// "--rc-host=127.0.0.1:PORT" names, if any.
std::wstring ControlPipeFromCommandLine() {
  constexpr std::wstring_view kOption = L"--input-ipc-server=";
  constexpr std::wstring_view kRcHost = L"--rc-host=";
  for (int i = 0; i < __argc; ++i) {
    const std::wstring_view argument = __wargv[i];
    if (argument.starts_with(kOption)) return std::wstring(argument.substr(kOption.size()));
    if (argument.starts_with(kRcHost)) return std::wstring(argument.substr(kRcHost.size()));
  }
  return {};
}

void RecordPipeConnected() { RecordEvent("pipe-connected"); }

// Serves the control pipe to its first client, then reads its commands. The
// connection is in the log before anything the script writes can reach the client.
DWORD WINAPI ServeControlPipe(void*) {
  if (!ControlPipe->AwaitClient(RecordPipeConnected)) RecordEvent("pipe-not-connected");
  else if (RemoteControl) ControlPipe->Write(kRcGreeting);  // VLC greets its client first
  return ReadCommands(const_cast<CommandSource*>(&ControlPipeSource));
}

void ServeControlPipeNamed(const std::wstring& name) {
  ControlPipe = new ControlPipeServer(name);  // lives as long as the process
  RecordEvent(ControlPipe->Served() ? "pipe-served" : "pipe-refused");
  CreateThread(nullptr, 0, ServeControlPipe, nullptr, 0, nullptr);
}

void Emit(bool toPipe, const std::string& bytes) {
  if (!toPipe) WriteOut(bytes);
  else if (ControlPipe != nullptr) ControlPipe->Write(bytes);
}

// A real player makes its video window a child of the view window, which makes
// the host's thread take messages from us.
void CreateChildWindow() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = User32().DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"StandInVideo";
  User32().RegisterClassW(&windowClass);
  ChildWindow = User32().CreateWindowExW(0, L"StandInVideo", L"video", WS_CHILD | WS_VISIBLE, 0, 0, 16, 16,
                                         ViewWindowFromCommandLine(), nullptr, windowClass.hInstance, nullptr);
  RecordEvent(ChildWindow != nullptr ? "child-window" : "child-window-failed");
}

void AwaitCommand(const std::string& wanted) {
  for (;;) {
    EnterCriticalSection(&CommandsLock);
    const bool seen = std::find(CommandsRead.begin(), CommandsRead.end(), wanted) != CommandsRead.end();
    const bool ended = OpenCommandSources == 0;
    LeaveCriticalSection(&CommandsLock);
    if (seen) return;
    if (ended) {
      RecordEvent("await-ended");
      return;
    }
    WaitForSingleObject(CommandRead, INFINITE);
  }
}

void SendKey(WPARAM virtualKey) {
  DWORD_PTR result = 0;
  const bool answered = User32().SendMessageTimeoutW(ViewWindowFromCommandLine(), WM_KEYDOWN, virtualKey, 1,
                                                     SMTO_NORMAL, 5000, &result) != 0;
  RecordEvent(answered ? "key-answered" : "key-unanswered");
}

// Where the command line asks for the frame: mpv's "--vo-image-outdir=...", or
// MPlayer's "-vo png..." as MPlayer reads it: cut at the first comma (the next
// video output driver), then its outdir, else the current folder.
std::wstring ImageFolderFromCommandLine() {
  constexpr std::wstring_view kMpvOutdir = L"--vo-image-outdir=";
  for (int i = 0; i < __argc; ++i) {
    const std::wstring_view argument = __wargv[i];
    if (argument.starts_with(kMpvOutdir)) return std::wstring(argument.substr(kMpvOutdir.size()));
    if (argument != L"-vo" || i + 1 == __argc) continue;
    const std::wstring_view whole = __wargv[i + 1];
    const std::wstring_view vo = whole.substr(0, whole.find(L','));
    if (!vo.starts_with(L"png")) return {};  // no images ("-vo null")
    if (vo.find(L"outdir=") == std::wstring_view::npos) return L".";
    if (const std::optional<MPlayerOutdir> outdir = FindMPlayerOutdir(vo)) return outdir->Folder;
    return {};
  }
  return {};
}

// Whether the command line's options keep the player running after its frame,
// as they keep the real players (see exit-after-frame above).
bool HeldAfterItsFrame() {
  bool held[8] = {};  // mpv: idle, pause, keep-open, loop-file, loop-playlist, ab-loop; MPlayer: idle, loop
  const auto holds = [](std::wstring_view value, std::initializer_list<std::wstring_view> holding) {
    return std::find(holding.begin(), holding.end(), value) != holding.end();
  };
  for (int i = 1; i < __argc; ++i) {
    const std::wstring_view argument = __wargv[i];
    if (argument == L"-idle" || argument == L"-noidle") held[6] = argument == L"-idle";
    if (argument == L"-loop" && i + 1 < __argc) held[7] = holds(__wargv[i + 1], {L"0", L"-1"});
    if (!argument.starts_with(L"--")) continue;
    const size_t equals = argument.find(L'=');
    std::wstring_view name = argument.substr(2, equals == std::wstring_view::npos ? equals : equals - 2);
    std::wstring_view value = equals == std::wstring_view::npos ? L"yes" : argument.substr(equals + 1);
    if (name.starts_with(L"no-")) {
      name.remove_prefix(3);
      value = L"no";
    }
    if (name == L"idle") held[0] = value == L"yes";
    if (name == L"pause") held[1] = value == L"yes";
    if (name == L"keep-open") held[2] = holds(value, {L"yes", L"always"});
    if (name == L"loop-file" || name == L"loop") held[3] = holds(value, {L"yes", L"inf"});
    if (name == L"loop-playlist") held[4] = holds(value, {L"yes", L"inf", L"force"});
    if (name == L"ab-loop-a" || name == L"ab-loop-b") held[5] = value != L"no";
  }
  return std::find(std::begin(held), std::end(held), true) != std::end(held);
}

std::string FileBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

void WriteImage(const std::string& bytes) {
  const std::wstring folder = ImageFolderFromCommandLine();
  if (folder.empty()) {
    RecordEvent("no-image-folder");
    return;
  }
  const std::wstring path = folder + L"\\" + std::wstring(kFrameImageName);
  RecordEvent("image-folder " + Utf8(folder));
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  const bool wrote = file != INVALID_HANDLE_VALUE &&
                     WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  RecordEvent(wrote ? "image" : "image-failed");
}

void Replay(const ReplayDirective& replay) {
  HANDLE file = CreateFileW(replay.Path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::vector<char> chunk(replay.ChunkSize);
  DWORD got = 0;
  while (ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &got, nullptr) && got > 0) {
    WriteOut(std::string(chunk.data(), got));
    if (replay.DelayMs > 0) Sleep(replay.DelayMs);
  }
  CloseHandle(file);
}

void Flood(bool toPipe, size_t bytes) {
  const std::string block(64 * 1024, 'A');
  for (size_t sent = 0; sent < bytes; sent += block.size()) {
    Emit(toPipe, block.substr(0, std::min(block.size(), bytes - sent)));
  }
}

void Run(const Directive& directive) {
  switch (directive.Kind) {
    case DirectiveKind::Write:
      Emit(directive.ToPipe, directive.Text);
      break;
    case DirectiveKind::StampedWrite: {
      const LONGLONG before = Now();
      Emit(directive.ToPipe, directive.Text);
      RecordEventAt(before, "wrote");
      break;
    }
    case DirectiveKind::Replay:
      Replay(directive.Replay);
      break;
    case DirectiveKind::Repeat:
      for (size_t i = 0; i < directive.Number; ++i) {
        Emit(directive.ToPipe, directive.Text);
        if (directive.DelayMs > 0) Sleep(directive.DelayMs);
      }
      break;
    case DirectiveKind::Flood:
      Flood(directive.ToPipe, directive.Number);
      break;
    case DirectiveKind::Sleep:
      Sleep(static_cast<DWORD>(directive.Number));
      break;
    case DirectiveKind::Exit:
      Exit(static_cast<UINT>(directive.Number));
    case DirectiveKind::Crash:
      RecordEvent("crash");
      RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
      break;
    case DirectiveKind::IgnoreQuit:
      IgnoreQuit = true;
      break;
    case DirectiveKind::QuitCode:
      QuitCode = static_cast<UINT>(directive.Number);
      break;
    case DirectiveKind::StopReading:
    case DirectiveKind::ResumeReading: {
      ReadingState& reading = directive.ToPipe ? ControlPipeReading : StandardInputReading;
      reading.Stopped = directive.Kind == DirectiveKind::StopReading;
      if (reading.Stopped) ResetEvent(reading.Resumed);
      else SetEvent(reading.Resumed);
      break;
    }
    case DirectiveKind::AwaitFile:
      while (GetFileAttributesW((LogFolder + L"\\" + WideFromUtf8(directive.Text)).c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(10);
      RecordEvent("file " + directive.Text);
      break;
    case DirectiveKind::CloseStdin:
      CloseHandle(Stdin);
      RecordEvent("stdin-closed");
      break;
    case DirectiveKind::ChildWindow:
      CreateChildWindow();
      break;
    case DirectiveKind::Mark:
      RecordEvent("mark " + directive.Text);
      break;
    case DirectiveKind::Await:
      AwaitCommand(directive.Text);
      break;
    case DirectiveKind::Key:
      SendKey(static_cast<WPARAM>(directive.Number));
      break;
    case DirectiveKind::NoPipe:  // taken into account at the start
      break;
    case DirectiveKind::ServePipe:
      ServeControlPipeNamed(ControlPipeFromCommandLine());
      break;
    case DirectiveKind::Image:
      WriteImage(FileBytes(!directive.File.empty() ? directive.File : std::wstring(__wargv[__argc - 1]) + L".png"));
      break;
    case DirectiveKind::ImageBytes:
      WriteImage(directive.Text);
      break;
    case DirectiveKind::RcInfo:
    case DirectiveKind::RcTime:
      EnterCriticalSection(&RcLock);
      if (directive.Kind == DirectiveKind::RcInfo) RcInfo = directive.Text;
      else RcTime = directive.Number;
      LeaveCriticalSection(&RcLock);
      break;
    case DirectiveKind::ExitAfterFrame:
      if (!HeldAfterItsFrame()) Exit(0);
      RecordEvent("held");
      Sleep(INFINITE);
      break;
  }
}

}  // namespace

int wmain() {
  // A crash must end the process at once, not wait for a dialog.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  LogFolder = Environment(L"REELPANE_STANDIN_LOG");
  AppendToLog(L"cmdline.txt", Utf8(GetCommandLineW()));
  AppendToLog(L"cmdlines.txt", Utf8(GetCommandLineW()) + "\n");
  AppendToLog(L"pid.txt", std::to_string(GetCurrentProcessId()) + "\n");
  RecordEvent("start");
  std::wstring current(GetCurrentDirectoryW(0, nullptr), L'\0');
  current.resize(GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data()));
  RecordEvent("current-folder " + Utf8(current));
  // Whether a job held this process from its first instruction on.
  BOOL inJob = FALSE;
  IsProcessInJob(GetCurrentProcess(), nullptr, &inJob);
  RecordEvent(inJob ? "in-job" : "not-in-job");
  Stdin = GetStdHandle(STD_INPUT_HANDLE);

  MainThread = GetCurrentThreadId();
  InitializeCriticalSection(&CommandsLock);
  InitializeCriticalSection(&RcLock);
  RemoteControl = ControlPipeFromCommandLine().starts_with(L"127.0.0.1:");
  CommandRead = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  for (ReadingState* reading : {&StandardInputReading, &ControlPipeReading}) {
    reading->Resumed = CreateEventW(nullptr, TRUE, TRUE, nullptr);
  }
  const std::vector<Directive> script = ParseStandInScript(Utf8(Environment(L"REELPANE_STANDIN_SCRIPT")));
  // Standard input is read from the start, unless the script closes it; the
  // control pipe is served from the start, as mpv does, unless the script says not.
  bool closesStdin = false;
  bool noPipe = false;
  bool servesPipeLater = false;
  for (const Directive& directive : script) {
    closesStdin |= directive.Kind == DirectiveKind::CloseStdin;
    noPipe |= directive.Kind == DirectiveKind::NoPipe;
    servesPipeLater |= directive.Kind == DirectiveKind::ServePipe;
  }
  const bool servesPipe = !ControlPipeFromCommandLine().empty() && !noPipe;
  OpenCommandSources = (closesStdin ? 0 : 1) + (servesPipe ? 1 : 0);
  if (!closesStdin) CreateThread(nullptr, 0, ReadCommands, const_cast<CommandSource*>(&StandardInputSource), 0, nullptr);
  if (servesPipe && !servesPipeLater) ServeControlPipeNamed(ControlPipeFromCommandLine());
  for (const Directive& directive : script) Run(directive);
  RecordEvent("script-done");
  // Without a window of ours, "quit" ends the process from the reading thread.
  if (ChildWindow == nullptr) Sleep(INFINITE);
  MSG message;
  while (User32().GetMessageW(&message, nullptr, 0, 0) > 0) User32().DispatchMessageW(&message);
  User32().DestroyWindow(ChildWindow);
  Exit(QuitCode);
}
