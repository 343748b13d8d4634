#include "test_workspace.h"

#include <tlhelp32.h>

#include <atomic>
#include <cwchar>
#include <sstream>
#include <thread>
#include <utility>

#include "thumbnail.h"

namespace {

// "reelpane-test-<this process's id>-<a count>", or without |counted| the part
// every workspace of this process shares.
std::wstring UniqueFolderName(bool counted = true) {
  static std::atomic<int> counter{0};
  const std::wstring shared = L"reelpane-test-" + std::to_wstring(GetCurrentProcessId()) + L"-";
  return counted ? shared + std::to_wstring(++counter) : shared;
}

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(JoinPath(folder, L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = JoinPath(folder, name);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(path);
      else DeleteFileW(path.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

std::wstring BuildFolder() {
  wchar_t path[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  std::wstring file(path, length);
  return file.substr(0, file.find_last_of(L'\\'));
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  if (!folder.empty() && folder.back() == L'\\') return folder + name;
  return folder + L"\\" + name;
}

bool FileExists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string bytes;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

std::string Utf8(const std::wstring& text) {
  const int needed =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), needed, nullptr,
                      nullptr);
  return result;
}

std::wstring FromUtf8(const std::string& text) {
  const int needed = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), result.data(), needed);
  return result;
}

double TimeScale() {
  static const double scale = [] {
    wchar_t text[32] = {};
    const DWORD length = GetEnvironmentVariableW(L"REELPANE_TIME_SCALE", text, 32);
    const double value = length > 0 && length < 32 ? std::wcstod(text, nullptr) : 1.0;
    return value >= 1.0 ? value : 1.0;
  }();
  return scale;
}

std::wstring WindowsPathOf(const std::string& path) {
  std::wstring converted = FromUtf8(path);
  if (converted.empty() || converted.front() != L'/') return converted;
  for (wchar_t& c : converted) {
    if (c == L'/') c = L'\\';
  }
  return L"Z:" + converted;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(ScaledMs(static_cast<double>(timeout.count())));
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= end) return false;
    PumpMessages(5);
  }
}

bool PlayerLog::Started() const { return FileExists(JoinPath(folder_, L"pid.txt")); }

std::wstring PlayerLog::CommandLine() const { return FromUtf8(ReadFileBytes(JoinPath(folder_, L"cmdline.txt"))); }

std::vector<std::wstring> PlayerLog::CommandLines() const {
  std::vector<std::wstring> lines;
  std::istringstream text(ReadFileBytes(JoinPath(folder_, L"cmdlines.txt")));
  for (std::string line; std::getline(text, line);) lines.push_back(FromUtf8(line));
  return lines;
}

std::string PlayerLog::StandardInput() const { return ReadFileBytes(JoinPath(folder_, L"stdin.bin")); }

std::vector<std::string> PlayerLog::Events() const {
  std::vector<std::string> events;
  std::istringstream lines(ReadFileBytes(JoinPath(folder_, L"events.txt")));
  std::string line;
  while (std::getline(lines, line)) {
    const size_t blank = line.find(' ');
    if (blank != std::string::npos) events.push_back(line.substr(blank + 1));
  }
  return events;
}

bool PlayerLog::HasEvent(const std::string& event) const {
  for (const std::string& seen : Events()) {
    if (seen == event) return true;
  }
  return false;
}

std::optional<long long> PlayerLog::EventStamp(const std::string& event) const {
  std::istringstream lines(ReadFileBytes(JoinPath(folder_, L"events.txt")));
  for (std::string line; std::getline(lines, line);) {
    const size_t blank = line.find(' ');
    if (blank != std::string::npos && line.substr(blank + 1) == event) return std::stoll(line.substr(0, blank));
  }
  return std::nullopt;
}

DWORD PlayerLog::ProcessId() const {
  const std::vector<DWORD> ids = ProcessIds();
  return ids.empty() ? 0 : ids.front();
}

std::vector<DWORD> PlayerLog::ProcessIds() const {
  std::vector<DWORD> ids;
  std::istringstream lines(ReadFileBytes(JoinPath(folder_, L"pid.txt")));
  for (std::string line; std::getline(lines, line);) {
    ids.push_back(static_cast<DWORD>(std::strtoul(line.c_str(), nullptr, 10)));
  }
  return ids;
}

std::string PlayerLog::ControlPipeInput() const { return ReadFileBytes(JoinPath(folder_, L"control.bin")); }

bool PlayerLog::WaitForInput(const std::string& bytes, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return StandardInput().size() >= bytes.size(); }, timeout) && StandardInput() == bytes;
}

bool PlayerLog::WaitForControlPipeInput(const std::string& bytes, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return ControlPipeInput().size() >= bytes.size(); }, timeout) && ControlPipeInput() == bytes;
}

bool PlayerLog::WaitForEvent(const std::string& event, std::chrono::milliseconds timeout) const {
  return WaitUntil([&] { return HasEvent(event); }, timeout);
}

TestWorkspace::TestWorkspace(const std::wstring& pluginFileName) : pluginFileName_(pluginFileName) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  // A folder of its own: one left by a killed test process whose id Wine has
  // handed on would bring that test's settings along.
  do {
    folder_ = JoinPath(temp, UniqueFolderName());
  } while (!CreateDirectoryW(folder_.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
  CopyFileW(JoinPath(BuildFolder(), pluginFileName).c_str(), PluginPath().c_str(), FALSE);
}

TestWorkspace::~TestWorkspace() {
  host_.reset();
  // Players that a failing test left behind must not outlive it.
  for (const std::wstring& child : RunningChildProcesses()) {
    const DWORD id = static_cast<DWORD>(std::wcstoul(child.substr(child.rfind(L' ') + 1).c_str(), nullptr, 10));
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (process == nullptr) continue;
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 2000);
    CloseHandle(process);
  }
  RemoveTree(folder_);
}

std::wstring TestWorkspace::InstallPlayer(const std::wstring& relativeName, const std::wstring& program) {
  const std::wstring target = JoinPath(folder_, relativeName);
  CopyFileW(JoinPath(BuildFolder(), program).c_str(), target.c_str(), FALSE);
  return target;
}

std::wstring TestWorkspace::InstallLauncher(const std::wstring& relativeName, const std::wstring& target) {
  const std::wstring launcher = InstallPlayer(relativeName, L"standin-launcher.exe");
  WriteFileBytes(launcher.substr(0, launcher.find_last_of(L'.')) + L".shim", "path = " + Utf8(target) + "\r\n");
  return launcher;
}

std::wstring TestWorkspace::MakeFolder(const std::wstring& relativeName) {
  const std::wstring path = JoinPath(folder_, relativeName);
  CreateDirectoryW(path.c_str(), nullptr);
  return path;
}

void TestWorkspace::WriteSettings(const std::vector<std::pair<std::wstring, std::wstring>>& keys,
                                  SettingsEncoding encoding) {
  std::wstring text = L"[config]\r\n";
  for (const auto& [key, value] : keys) text += key + L"=" + value + L"\r\n";
  std::string bytes;
  switch (encoding) {
    case SettingsEncoding::Ansi: {
      const int needed = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                             nullptr, nullptr);
      bytes.resize(static_cast<size_t>(needed));
      WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), needed, nullptr,
                          nullptr);
      break;
    }
    case SettingsEncoding::Utf16:
      bytes = "\xFF\xFE";
      bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
      break;
    case SettingsEncoding::Utf8WithBom:
      bytes = "\xEF\xBB\xBF" + Utf8(text);
      break;
    case SettingsEncoding::Utf8:  // as Notepad saves today
      bytes = Utf8(text);
      break;
  }
  WriteFileBytes(JoinPath(folder_, L"reelpane.ini"), bytes);
}

void TestWorkspace::WriteDefaultSettings(const std::wstring& viewSize) {
  InstallPlayer();
  WriteSettings({{L"MPlayer_path", L"standin-player.exe"}, {L"View_Size", viewSize}});
}

void TestWorkspace::WriteMpvSettings(const std::wstring& viewSize) {
  InstallPlayer(L"mpv.exe");
  WriteSettings({{L"MPlayer_path", L"mpv.exe"}, {L"View_Size", viewSize}});
}

PluginHost& TestWorkspace::LoadPlugin(bool setDefaultParams) {
  host_ = std::make_unique<PluginHost>(PluginPath());
  if (setDefaultParams && host_->IsLoaded()) host_->SetDefaultParams();
  return *host_;
}

namespace {

// Sets a variable while it lives and gives back what it was, so that a call made
// inside another (host code run inside the plugin's waits) leaves the outer one's.
class VariableDuringCall {
 public:
  VariableDuringCall(const wchar_t* name, const std::wstring& value) : name_(name) {
    const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed > 0) {
      saved_.emplace(needed, L'\0');
      saved_->resize(GetEnvironmentVariableW(name, saved_->data(), needed));
    }
    SetEnvironmentVariableW(name, value.c_str());
  }
  VariableDuringCall(const VariableDuringCall&) = delete;
  VariableDuringCall& operator=(const VariableDuringCall&) = delete;
  ~VariableDuringCall() { SetEnvironmentVariableW(name_, saved_ ? saved_->c_str() : nullptr); }

 private:
  const wchar_t* name_;
  std::optional<std::wstring> saved_;
};

}  // namespace

PlayerLog TestWorkspace::WithStandInPlayer(const std::string& script, const std::function<void()>& call) {
  const std::wstring logFolder = MakeFolder(L"player-" + std::to_wstring(++views_));
  const VariableDuringCall log(L"REELPANE_STANDIN_LOG", logFolder);
  const VariableDuringCall scripted(L"REELPANE_STANDIN_SCRIPT", FromUtf8(script));
  call();
  return PlayerLog(logFolder);
}

OpenedView TestWorkspace::Open(HWND lister, const std::string& script, const std::wstring& fileName) {
  HWND view = nullptr;
  PlayerLog log = WithStandInPlayer(script, [&] { view = host_->LoadW(lister, fileName); });
  return {view, std::move(log)};
}

LoadedNext TestWorkspace::OpenNext(HWND lister, HWND view, const std::string& script, const std::wstring& fileName) {
  int result = 1;
  PlayerLog log = WithStandInPlayer(script, [&] { result = host_->LoadNextW(lister, view, fileName); });
  return {result, std::move(log)};
}

TakenThumbnail TestWorkspace::Thumbnail(const std::string& script, const std::wstring& fileName, int width,
                                        int height) {
  const std::wstring logFolder = MakeFolder(L"player-" + std::to_wstring(++views_));
  SetEnvironmentVariableW(L"REELPANE_STANDIN_LOG", logFolder.c_str());
  SetEnvironmentVariableW(L"REELPANE_STANDIN_SCRIPT", FromUtf8(script).c_str());
  const Stopwatch stopwatch;
  HBITMAP bitmap = host_->PreviewBitmap(fileName, width, height);
  const double milliseconds = stopwatch.Milliseconds();
  SetEnvironmentVariableW(L"REELPANE_STANDIN_LOG", nullptr);
  SetEnvironmentVariableW(L"REELPANE_STANDIN_SCRIPT", nullptr);
  return {bitmap, PlayerLog(logFolder), milliseconds};
}

bool BoundReachedInASlowLane(const TakenThumbnail& taken) {
  constexpr double kLastPlayerSecondMs = 1000.0;  // the plugin keeps part of the bound for its clean-up
  return TimeScale() > 1 && taken.Bitmap == nullptr && taken.Milliseconds >= kThumbnailBoundMs - kLastPlayerSecondMs;
}

namespace {

// The full path of |processId|'s program, in upper case; empty when unknown.
std::wstring UpperCaseImage(DWORD processId) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  if (process == nullptr) return {};
  wchar_t image[MAX_PATH * 4] = {};
  DWORD length = MAX_PATH * 4;
  const bool named = QueryFullProcessImageNameW(process, 0, image, &length) != FALSE;
  CloseHandle(process);
  if (!named) return {};
  CharUpperBuffW(image, length);
  return std::wstring(image, length);
}

std::wstring UpperCase(std::wstring text) {
  CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

}  // namespace

std::vector<std::wstring> TestWorkspace::RunningChildProcesses() {
  // A program installed into a workspace of this process is ours whoever Wine
  // names as its parent and wherever the workspace lies. Parentage alone, less
  // the Windows folder's programs, once saw none of the players that answered
  // (every fresh clone's 32-bit lane, under the full test run only).
  const std::wstring installed = UpperCase(L"\\" + UniqueFolderName(false));
  // Wine starts its own programs (explorer.exe, services.exe, ...) as children of
  // whichever program first needs them; they live in the Windows folder.
  wchar_t windows[MAX_PATH] = {};
  const std::wstring system = UpperCase(std::wstring(windows, GetSystemWindowsDirectoryW(windows, MAX_PATH)) + L"\\");
  std::vector<std::wstring> children;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return children;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) continue;
    const std::wstring image = UpperCaseImage(entry.th32ProcessID);
    const bool fromOurWorkspace = image.find(installed) != std::wstring::npos;
    const bool ourChild = entry.th32ParentProcessID == GetCurrentProcessId() && !image.starts_with(system);
    if (fromOurWorkspace || ourChild) {
      children.push_back(std::wstring(entry.szExeFile) + L" " + std::to_wstring(entry.th32ProcessID));
    }
  }
  CloseHandle(snapshot);
  return children;
}

std::string IdentifyScript(int width, int height, bool crlf) {
  const std::string end = crlf ? "\\r\\n" : "\\n";
  std::ostringstream script;
  script << "write ID_VIDEO_ID=0" << end << "ID_FILENAME=C:\\\\videos\\\\clip.avi" << end << "\n"
         << "write ID_VIDEO_WIDTH=" << width << end << "ID_VIDEO_HEIGHT=" << height << end
         << "ID_LENGTH=12.00" << end << "\n";
  return script.str();
}

std::string MpvPipeWrite(const std::vector<std::string>& lines) {
  std::string script = "pipe write ";
  for (const std::string& line : lines) script += line + "\\n";
  return script + "\n";
}

std::string MpvPropertyChange(int id, const std::string& name, const std::string& data) {
  std::string event = "{\"event\":\"property-change\",\"id\":" + std::to_string(id) + ",\"name\":\"" + name + "\"";
  if (!data.empty()) event += ",\"data\":" + data;
  return event + "}";
}

std::string MpvIdentifyScript(int width, int height) {
  const std::string reply = "{\"request_id\":0,\"error\":\"success\"}";
  return MpvPipeWrite({reply, reply, reply, reply, MpvPropertyChange(3, "vid", "1"),
                       MpvPropertyChange(1, "dwidth", std::to_string(width)),
                       MpvPropertyChange(2, "dheight", std::to_string(height))});
}

MessageBoxWatcher::MessageBoxWatcher() {
  InitializeCriticalSection(&lock_);
  stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
}

MessageBoxWatcher::~MessageBoxWatcher() {
  SetEvent(stop_);
  WaitForSingleObject(thread_, INFINITE);
  CloseHandle(thread_);
  CloseHandle(stop_);
  DeleteCriticalSection(&lock_);
}

std::optional<std::pair<std::wstring, std::wstring>> MessageBoxWatcher::Take() {
  EnterCriticalSection(&lock_);
  auto seen = std::exchange(seen_, std::nullopt);
  LeaveCriticalSection(&lock_);
  return seen;
}

namespace {

// A message box of this process, if one is showing (other tests run beside us).
BOOL CALLBACK RememberOwnMessageBox(HWND window, LPARAM found) {
  wchar_t className[16] = {};
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != GetCurrentProcessId() || GetClassNameW(window, className, 16) == 0 ||
      std::wstring(className) != L"#32770") {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

HWND FindOwnMessageBox() {
  HWND found = nullptr;
  EnumWindows(RememberOwnMessageBox, reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

DWORD WINAPI MessageBoxWatcher::Watch(void* context) {
  auto* self = static_cast<MessageBoxWatcher*>(context);
  HWND recorded = nullptr;
  while (WaitForSingleObject(self->stop_, 10) == WAIT_TIMEOUT) {
    HWND box = FindOwnMessageBox();
    if (box == nullptr) continue;
    // A box is still there until its thread takes the IDOK posted to it: on a busy
    // machine the next look finds it again, after a Take() may have taken it. It
    // is closed again, not counted again.
    if (box == recorded) {
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      continue;
    }
    recorded = box;
    wchar_t caption[256] = {}, text[4096] = {};
    GetWindowTextW(box, caption, 256);
    GetDlgItemTextW(box, 0xFFFF, text, 4096);  // the static control of a message box
    EnterCriticalSection(&self->lock_);
    if (!self->seen_) self->seen_ = std::make_pair(std::wstring(caption), std::wstring(text));
    LeaveCriticalSection(&self->lock_);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
  return 0;
}

DWORD HandleCount() {
  // Wine does not count handles (GetProcessHandleCount gives 0), so every
  // handle value in use is probed instead; both systems hand out small values.
  DWORD count = 0;
  for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

DWORD GdiObjectCount() {
  const DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (counted != 0) return counted;
  // Wine does not count them either (it answers 0), but takes a handle's table
  // index alone for the handle: every index is probed.
  DWORD count = 0;
  for (ULONG_PTR index = 1; index < 0x10000; ++index) {
    if (GetObjectType(reinterpret_cast<HGDIOBJ>(index)) != 0) ++count;
  }
  return count;
}
