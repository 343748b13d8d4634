#include "settings.h"

#include <windows.h>

#include <optional>

#include "auto_close_handle.h"
#include "settings_text.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

constexpr const wchar_t* kSettingsFileName = L"reelpane.ini";
constexpr const wchar_t* kSection = L"config";
constexpr DWORD kIniValueBuffer = 2048;      // values longer than 2047 characters are cut
constexpr DWORD kExpansionBuffer = 3200;     // room for 3198 characters, as always
constexpr DWORD kLargestOwnSettingsRead = 1 << 20;  // beyond this the profile functions read it

HMODULE ThisModule() { return reinterpret_cast<HMODULE>(&__ImageBase); }

// The plugin file's whole name, however long its path.
std::wstring ModuleFileName() {
  std::wstring name(MAX_PATH + 1, L'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(name.size());
    const DWORD length = GetModuleFileNameW(ThisModule(), name.data(), size);
    if (length == 0) return {};
    if (length < size) {
      name.resize(length);
      return name;
    }
    name.resize(name.size() * 2);
  }
}

// Empty when the expansion fails or would not fit its buffer: a value is never
// used with undefined content.
std::wstring ExpandVariables(const std::wstring& text) {
  std::wstring expanded(kExpansionBuffer, L'\0');
  const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), kExpansionBuffer - 1);
  if (needed == 0 || needed > kExpansionBuffer - 1) return {};
  expanded.resize(wcslen(expanded.c_str()));
  return expanded;
}

std::wstring FullPathName(const std::wstring& path) {
  std::wstring full(MAX_PATH, L'\0');
  DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length >= full.size()) {
    full.assign(length, L'\0');
    length = GetFullPathNameW(path.c_str(), length, full.data(), nullptr);
    if (length >= full.size()) return {};
  }
  full.resize(length);
  return full;
}

bool IsFolder(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }

// A symbolic link to a file: it counts when the target can be opened, or is
// merely locked by someone else.
bool LinkedFileExists(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return true;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

// A file whose attributes may not be read is looked up in its folder instead.
bool FoundAsFile(const std::wstring& path) {
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return !IsFolder(found.dwFileAttributes);
}

// The settings file's text when it is UTF-8, which the profile functions would misread.
std::optional<std::wstring> ReadUtf8SettingsText(const std::wstring& settingsFile) {
  AutoCloseHandle file(CreateFileW(settingsFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
  LARGE_INTEGER size{};
  if (!file.IsValid() || !GetFileSizeEx(file.Get(), &size) || size.QuadPart > kLargestOwnSettingsRead) {
    return std::nullopt;
  }
  std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
  DWORD got = 0;
  if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) return std::nullopt;
  bytes.resize(got);
  if (!IsUtf8SettingsText(bytes)) return std::nullopt;
  const int length = static_cast<int>(bytes.size());
  const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return std::nullopt;  // a mark followed by something else: left to the platform
  std::wstring text(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), length, text.data(), needed);
  if (text.starts_with(L'\xFEFF')) text.erase(0, 1);
  return text;
}

}  // namespace

std::wstring FolderOfFile(std::wstring_view fileName) {
  const size_t cut = fileName.find_last_of(L"\\:");
  return cut == std::wstring_view::npos ? std::wstring() : std::wstring(fileName.substr(0, cut + 1));
}

std::wstring PluginFolder() { return FolderOfFile(ModuleFileName()); }

std::wstring SettingsFilePath() { return PluginFolder() + kSettingsFileName; }

std::wstring ReadIniString(const wchar_t* section, const wchar_t* key, const std::wstring& fallback,
                           const std::wstring& settingsFile) {
  if (const std::optional<std::wstring> utf8Text = ReadUtf8SettingsText(settingsFile)) {
    std::wstring value = FindIniValue(*utf8Text, section, key).value_or(fallback);
    if (value.size() > kIniValueBuffer - 1) value.resize(kIniValueBuffer - 1);
    return value;
  }
  std::wstring value(kIniValueBuffer, L'\0');
  GetPrivateProfileStringW(section, key, fallback.c_str(), value.data(), kIniValueBuffer,
                           settingsFile.c_str());
  value.resize(wcsnlen(value.c_str(), kIniValueBuffer));
  return value;
}

void ReadPluginSettings(const std::wstring& settingsFile, PluginSettings& settings) {
  settings.PlayerPath = ReadIniString(kSection, L"MPlayer_path", settings.PlayerPath, settingsFile);
  settings.PlayerPathSet = !settings.PlayerPath.empty();
  settings.PlayerParams = ReadIniString(kSection, L"MPlayer_params", settings.PlayerParams, settingsFile);
  settings.ViewSize = ReadIniString(kSection, L"View_Size", settings.ViewSize, settingsFile);
  settings.PlayerPath = ResolvePluginPath(settings.PlayerPath);
#if defined(_WIN64)
  // A 64-bit host may name its own player build; it wins only when it exists.
  std::wstring candidate = ResolvePluginPath(ReadIniString(kSection, L"MPlayer_path_x64", L"", settingsFile));
  if (IsExistingFile(candidate)) {
    settings.PlayerPath = std::move(candidate);
    settings.PlayerPathSet = true;
  }
#endif
  settings.Player = ReadIniString(kSection, L"Player", L"", settingsFile);
  settings.Thumbnails = ReadIniString(kSection, L"Thumbnails", L"", settingsFile) != L"0";
  settings.RememberVolume = ReadIniString(kSection, L"Remember_volume", L"", settingsFile) != L"0";
  settings.WheelSeeks = ReadIniString(kSection, L"Wheel", L"", settingsFile) == L"seek";
  settings.End = AtEndOf(ReadIniString(kSection, L"At_end", L"", settingsFile));
  settings.StartPaused = ReadIniString(kSection, L"Start_paused", L"", settingsFile) == L"1";
}

AtEnd AtEndOf(std::wstring_view word) {
  if (word == L"loop") return AtEnd::Loop;
  if (word == L"next") return AtEnd::Next;
  return AtEnd::Stop;
}

std::wstring ResolvePluginPath(std::wstring_view path) {
  if (path.empty()) return {};
  // Taken from the plugin folder, never from the current directory: that is the
  // host's, and changing it even for a moment would be seen by its other threads.
  const std::wstring expanded = ExpandVariables(std::wstring(path));
  if (expanded.empty()) return {};
  return FullPathName(AnchorAtFolder(expanded, PluginFolder()));
}

bool IsExistingFile(const std::wstring& path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return !IsFolder(attributes);
    return !IsFolder(attributes) && LinkedFileExists(path);
  }
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_INVALID_NAME) {
    return false;
  }
  return FoundAsFile(path);
}
