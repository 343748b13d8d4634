// The stand-in launcher: takes the place of a package manager's shim (Scoop's or
// Chocolatey's mpv.exe on PATH) or of mpv's own mpv.com in tests. It starts the
// program that NAME.shim beside it names ("path = PROGRAM", NAME being its own
// name without extension), with its own command line's arguments, handing on its
// standard handles; waits for it; and ends with its exit code.
#include <windows.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace {

std::wstring ModulePath() {
  std::wstring path(MAX_PATH * 4, L'\0');
  path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
  return path;
}

// The program the .shim file names; empty when there is none.
std::wstring ShimTarget() {
  const std::wstring self = ModulePath();
  const std::wstring shim = self.substr(0, self.find_last_of(L'.')) + L".shim";
  HANDLE file = CreateFileW(shim.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  char bytes[4096];
  DWORD got = 0;
  ReadFile(file, bytes, sizeof(bytes), &got, nullptr);
  CloseHandle(file);
  std::string text(bytes, got);
  constexpr std::string_view kPath = "path = ";
  if (!text.starts_with(kPath)) return {};
  text = text.substr(kPath.size(), text.find_first_of("\r\n") - kPath.size());
  std::wstring target(text.size() * 2 + 1, L'\0');
  target.resize(static_cast<size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                        target.data(), static_cast<int>(target.size()))));
  return target;
}

// Everything on its command line after its own name, the blank before the first argument included.
std::wstring OwnArguments() {
  const std::wstring_view line = GetCommandLineW();
  size_t at = 0;
  if (!line.empty() && line[0] == L'"') {
    at = line.find(L'"', 1);
    at = at == std::wstring_view::npos ? line.size() : at + 1;
  } else {
    at = std::min(line.size(), line.find_first_of(L" \t"));
  }
  return std::wstring(line.substr(at));
}

}  // namespace

int wmain() {
  const std::wstring target = ShimTarget();
  if (target.empty()) return 1;
  std::wstring commandLine = L"\"" + target + L"\"" + OwnArguments();
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started)) {
    return 1;
  }
  CloseHandle(started.hThread);
  WaitForSingleObject(started.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(started.hProcess, &code);
  CloseHandle(started.hProcess);
  return static_cast<int>(code);
}
