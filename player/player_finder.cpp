// Finding the player when MPlayer_path names none: the plugin folder, an
// installer's registry key, the PATH, in the order players.h gives.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "players.h"

// kPlayers, made from REELPANE_PLAYERS by player/CMakeLists.txt.
#include "player_list.inc"

namespace {

std::wstring RegistryText(HKEY key, const wchar_t* name) {
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ) return {};
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &bytes) != ERROR_SUCCESS) {
    return {};
  }
  text.resize(wcsnlen(text.c_str(), text.size()));
  return text;
}

// The program an installer's key names, in the 64-bit view of the registry, then the 32-bit one.
std::wstring InstalledProgram(const Player& player) {
  const std::wstring key(player.Whereabouts.InstalledKey);
  for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE | view, &opened) != ERROR_SUCCESS) continue;
    std::wstring program = RegistryText(opened, nullptr);
    if (!IsExistingFile(program)) {
      std::wstring folder = RegistryText(opened, L"InstallDir");
      if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
      program = folder.empty() ? std::wstring() : folder + std::wstring(player.ProgramNames[0]);
    }
    RegCloseKey(opened);
    if (IsExistingFile(program)) return program;
  }
  return {};
}

std::wstring PathVariable() {
  const DWORD needed = GetEnvironmentVariableW(L"PATH", nullptr, 0);
  if (needed == 0) return {};
  std::wstring value(needed, L'\0');
  value.resize(GetEnvironmentVariableW(L"PATH", value.data(), needed));
  return value;
}

// |name| in one of the PATH's folders, in their order; only there, never in the
// host's own or current folder.
std::wstring OnPath(std::wstring_view name) {
  const std::wstring path = PathVariable();
  for (size_t from = 0; from <= path.size();) {
    const size_t end = std::min(path.find(L';', from), path.size());
    std::wstring folder = path.substr(from, end - from);
    from = end + 1;
    folder.erase(std::remove(folder.begin(), folder.end(), L'"'), folder.end());
    if (folder.empty()) continue;
    if (folder.back() != L'\\') folder += L'\\';
    std::wstring program = folder + std::wstring(name);
    if (IsExistingFile(program)) return program;
  }
  return {};
}

std::vector<const Player*> PathPlayers() {
  std::vector<const Player*> players;
  for (const Player* player : kPlayers) {
    if (!player->Whereabouts.OnPath.empty()) players.push_back(player);
  }
  std::stable_sort(players.begin(), players.end(), [](const Player* a, const Player* b) {
    return a->Whereabouts.PathRank < b->Whereabouts.PathRank;
  });
  return players;
}

std::wstring Listed(const std::vector<std::wstring>& items) {
  std::wstring text;
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? L" or " : L", ";
    text += items[i];
  }
  return text;
}

// "no player in the plugin folder (mplayer\mplayer.exe, ...), no VLC installed, none of mpv.exe, ... on the PATH"
std::wstring WhereLookedFor() {
  std::vector<std::wstring> bundled, installed, onPath;
  for (const Player* player : kPlayers) {
    if (!player->Whereabouts.InPluginFolder.empty()) bundled.emplace_back(player->Whereabouts.InPluginFolder);
    if (!player->Whereabouts.InstalledKey.empty()) installed.emplace_back(player->Name);
  }
  for (const Player* player : PathPlayers()) onPath.emplace_back(player->Whereabouts.OnPath);
  return L"no player found (MPlayer_path is empty): no " + Listed(bundled) + L" in the plugin folder, no " +
         Listed(installed) + L" installed, no " + Listed(onPath) + L" on the PATH";
}

}  // namespace

PlayerProgram ChoosePlayerProgram(const PluginSettings& settings) {
  if (settings.PlayerPathSet) {
    return {settings.PlayerPath, &ChoosePlayer(settings.Player, settings.PlayerPath), {}};
  }
  const std::wstring pluginFolder = PluginFolder();
  for (const Player* player : kPlayers) {
    if (player->Whereabouts.InPluginFolder.empty()) continue;
    std::wstring program = pluginFolder + std::wstring(player->Whereabouts.InPluginFolder);
    if (IsExistingFile(program)) return {std::move(program), player, {}};
  }
  for (const Player* player : kPlayers) {
    if (player->Whereabouts.InstalledKey.empty()) continue;
    std::wstring program = InstalledProgram(*player);
    if (!program.empty()) return {std::move(program), player, {}};
  }
  for (const Player* player : PathPlayers()) {
    std::wstring program = OnPath(player->Whereabouts.OnPath);
    if (!program.empty()) return {std::move(program), player, {}};
  }
  return {{}, kPlayers[0], WhereLookedFor()};
}
