#include "players.h"

#include <algorithm>

// kPlayers, made from REELPANE_PLAYERS by player/CMakeLists.txt.
#include "player_list.inc"

namespace {

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool IsProgram(std::wstring_view playerPath, std::wstring_view programName) {
  const std::wstring_view program = playerPath.substr(playerPath.find_last_of(L"\\/:") + 1);
  return !programName.empty() && std::equal(program.begin(), program.end(), programName.begin(), programName.end(),
                                             [](wchar_t a, wchar_t b) { return AsciiLower(a) == b; });
}

}  // namespace

const Player& ChoosePlayer(std::wstring_view playerSetting, std::wstring_view playerPath) {
  for (const Player* player : kPlayers) {
    if (playerSetting == player->Name) return *player;
  }
  for (const Player* player : kPlayers) {
    for (const std::wstring_view programName : player->ProgramNames) {
      if (IsProgram(playerPath, programName)) return *player;
    }
  }
  return *kPlayers[0];
}
