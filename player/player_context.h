#pragma once
#include <windows.h>

#include "settings_text.h"

// Everything one open view knows about its player. A plain record: it is copied
// by value into every call that talks to the player, and its one heap copy,
// whose address sits in the view window's user-data slot, owns the handles.
#pragma pack(push, 1)
struct PlayerContext {
  HANDLE Process = nullptr;
  HANDLE CommandPipe = nullptr;  // our write end of the player's standard input, or our end of its control pipe
  HANDLE OutputPipe = nullptr;   // our read end of its standard output and error
  bool Running = false;
  bool Looping = false;
  bool Muted = false;
  HANDLE Job = nullptr;  // ends the player with the host; null where jobs are refused
  struct OutputReader* Reader = nullptr;  // drops the player's output once identified; null if refused
  // The last command's write ran out of time, perhaps with part of its line in
  // the pipe: the next command begins with a line end, so that it is a line of its own.
  bool CommandCut = false;
  // Tells this record from a later one at the same address (the view's next file).
  unsigned Serial = 0;
  PlayerKind Player = PlayerKind::MPlayer;  // whose dialect the commands are in
  struct OutputReader* ControlReader = nullptr;  // drops what a control pipe brings once identified
  struct FullScreenView* FullScreen = nullptr;   // where the view was while the plugin shows it full screen
};
#pragma pack(pop)

static_assert(sizeof(bool) == 1, "the flags are one byte each");
