#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "command_line.h"
#include "settings_text.h"

// What differs between the players, one record each: how a player is started,
// how each action is told to it, where its commands go and its identification
// comes from, and how it is asked to quit. player/mplayer_dialect.cpp and
// player/mpv_dialect.cpp fill one each; the view, the waits, the reading, the
// job and the close are shared. Pure: no system calls.

// What the keys and the host ask of the player.
enum class PlayerAction {
  Pause,
  SeekBack10,
  SeekForward10,
  SeekBack60,
  SeekForward60,
  VolumeUp,
  VolumeDown,
  BrightnessUp,
  BrightnessDown,
  LoopOn,
  LoopOff,
  MuteOn,
  MuteOff,
  ShowProgress,
  FullScreen,  // the host's display options changed
  Quit,
};
constexpr std::size_t kPlayerActions = static_cast<std::size_t>(PlayerAction::Quit) + 1;

struct PlayerDialect {
  // The player's whole command line.
  std::wstring (*CommandLine)(const PlayerLaunch& launch);
  // The line (without its line end) that tells the player |action|; empty when
  // the player is not told and the plugin carries the action out itself.
  std::string_view (*Command)(PlayerAction action);
  // False: commands go to the player's standard input and it prints its
  // identification (MPlayer). True: it serves a control pipe of its own, named on
  // its command line, for both (mpv); its standard input reads as empty.
  bool ServesControlPipe;
};

const PlayerDialect& DialectOf(PlayerKind kind);
