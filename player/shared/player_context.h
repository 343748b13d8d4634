#pragma once
#include <windows.h>

struct Player;

// Everything one open view knows about its player. A plain record: it is copied
// by value into every call that talks to the player, and its one heap copy,
// whose address sits in the view window's user-data slot, owns the handles.
#pragma pack(push, 1)
struct PlayerContext {
  HANDLE Process = nullptr;
  HANDLE CommandPipe = nullptr;  // our write end of the player's standard input, or our end of its command channel
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
  const ::Player* Player = nullptr;  // which player it is: whose dialect the commands are in
  struct OutputReader* ControlReader = nullptr;  // drops what a command channel brings once identified
  struct FullScreenView* FullScreen = nullptr;   // where the view was while the plugin shows it full screen
  struct PlayerWatch* Watch = nullptr;  // what the background reader does with the player's reports (player_watch.h)
  bool WheelSeeks = false;              // the wheel seeks instead of setting the volume
  // The last left click that may begin a double click: when (the message's time)
  // and where (the view's client coordinates).
  bool ClickPending = false;
  DWORD ClickTime = 0;
  int ClickX = 0;
  int ClickY = 0;
};
#pragma pack(pop)

static_assert(sizeof(bool) == 1, "the flags are one byte each");
