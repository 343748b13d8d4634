#pragma once
#include <string_view>

#include "player.h"
#include "settings.h"

// The players the plugin can drive: those of REELPANE_PLAYERS in
// player/CMakeLists.txt, one folder each.

// The player the settings name: the one whose Name the "Player" setting is,
// exactly as written; else the one of whose ProgramNames the program's file name is one,
// in any letter case; else the first of the list (MPlayer).
const Player& ChoosePlayer(std::wstring_view playerSetting, std::wstring_view playerPath);

// The program to run and which player it is.
struct PlayerProgram {
  std::wstring Path;  // empty when none was set and none found
  const Player* Player = nullptr;
  std::wstring LookedFor;  // when none was set: where it was looked for, for the warning
};

// MPlayer_path as set (ChoosePlayer tells which player). When it is empty or
// missing, the first found of: each player's program in the plugin folder
// (mplayer\mplayer.exe, mpv\mpv.exe, vlc\vlc.exe, in the list's order), an
// installed player its installer's registry key names (VLC), then the programs
// looked for in the PATH's folders (mpv.exe, then mplayer.exe); it is taken for
// the player it was found as.
PlayerProgram ChoosePlayerProgram(const PluginSettings& settings);
