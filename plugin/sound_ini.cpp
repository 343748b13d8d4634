#include "sound_ini.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>

#include "command_line.h"
#include "player_report.h"

namespace {

constexpr wchar_t kSection[] = L"reelpane";
constexpr wchar_t kVolumeKey[] = L"Volume";
constexpr wchar_t kMutedKey[] = L"Muted";

// The host's record (the Lister interface's ListDefaultParamStruct).
struct HostDefaultParams {
  int size;
  DWORD PluginInterfaceVersionLow;
  DWORD PluginInterfaceVersionHi;
  char DefaultIniName[MAX_PATH];
};

std::wstring ReadValue(const wchar_t* key, const std::wstring& iniFile) {
  wchar_t value[32] = {};
  GetPrivateProfileStringW(kSection, key, L"", value, 32, iniFile.c_str());
  return value;
}

}  // namespace

std::wstring HostIniName(const void* defaultParams) {
  const auto* params = static_cast<const HostDefaultParams*>(defaultParams);
  if (params == nullptr || params->size < static_cast<int>(offsetof(HostDefaultParams, DefaultIniName) + 1)) return {};
  const std::size_t room =
      std::min<std::size_t>(MAX_PATH, static_cast<std::size_t>(params->size) - offsetof(HostDefaultParams, DefaultIniName));
  const std::size_t length = strnlen(params->DefaultIniName, room);
  if (length == 0 || length == room) return {};  // empty, or not ended within the record
  const int wide = MultiByteToWideChar(CP_ACP, 0, params->DefaultIniName, static_cast<int>(length), nullptr, 0);
  std::wstring name(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, params->DefaultIniName, static_cast<int>(length), name.data(), wide);
  return name;
}

std::wstring VolumeValueText(int volumeTenths) { return VolumeText(volumeTenths); }

std::optional<SoundLevel> SoundLevelOf(std::wstring_view volume, std::wstring_view muted) {
  std::string narrow;
  for (const wchar_t c : volume) {
    if (c > 0x7F) return std::nullopt;
    narrow += static_cast<char>(c);
  }
  const std::optional<int> tenths = VolumeTenthsOf(narrow);
  if (!tenths) return std::nullopt;
  return SoundLevel{*tenths, muted == L"1"};
}

void LoadRememberedSound(const std::wstring& iniFile) {
  if (iniFile.empty()) return;
  if (const std::optional<SoundLevel> level = SoundLevelOf(ReadValue(kVolumeKey, iniFile), ReadValue(kMutedKey, iniFile))) {
    RestoreRememberedSound(*level);
  }
}

void SaveRememberedSound(const std::wstring& iniFile) {
  if (iniFile.empty()) return;
  const std::optional<SoundLevel> level = TakeUnsavedSound();
  if (!level || level->VolumeTenths < 0) return;
  // Beside the file, so that the replacement is a rename within one folder.
  const std::wstring copy = iniFile + L".reelpane-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
  const bool existed = GetFileAttributesW(iniFile.c_str()) != INVALID_FILE_ATTRIBUTES;
  bool saved = !existed || CopyFileW(iniFile.c_str(), copy.c_str(), FALSE);
  saved = saved && WritePrivateProfileStringW(kSection, kVolumeKey, VolumeValueText(level->VolumeTenths).c_str(), copy.c_str());
  saved = saved && WritePrivateProfileStringW(kSection, kMutedKey, level->Muted ? L"1" : L"0", copy.c_str());
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, copy.c_str());  // written out, not kept in a cache
  saved = saved && MoveFileExW(copy.c_str(), iniFile.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  if (!saved) {
    DeleteFileW(copy.c_str());
    MarkSoundUnsaved();
  }
}
