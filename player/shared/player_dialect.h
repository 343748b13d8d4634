#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "command_line.h"

// How a player is spoken to: its command line for a view and the line that
// tells it each action. Each player's folder fills one (player/NAME/); its
// Player record (player.h) points to it. Pure: no system calls.

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
  SpeedDown,    // a tenth slower
  SpeedUp,      // a tenth faster
  SpeedNormal,
  FrameForward,  // one frame on, paused
  FrameBack,     // one frame back, paused, where the player can
  NextAudio,     // the next audio track
  NextSubtitle,  // the next subtitle track, or none after the last
  // Has the player report its sound level and muting (player_report.h), for a player
  // that does not report every change by itself.
  AskSound,
  Quit,
};
constexpr std::size_t kPlayerActions = static_cast<std::size_t>(PlayerAction::Quit) + 1;

struct PlayerDialect {
  // The player's whole command line for a view.
  std::wstring (*CommandLine)(const PlayerLaunch& launch);
  // The line (without its line end) that tells the player |action|; empty when
  // the player is not told and the plugin carries the action out itself.
  std::string_view (*Command)(PlayerAction action);
  // What the player is told right after its identification, for what its command
  // line can't say: whole lines, each with its line end; empty for nothing.
  std::string (*StartCommands)(const PlayerStartOptions& start);
};
