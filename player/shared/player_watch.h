#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "capped_lines.h"
#include "output_reader.h"

struct Player;

// What a view's background reader does with what its player writes after its
// identification: each line goes to the player's ReadReport, and what it reports
// is acted on there, on the pool thread, without touching the view's record:
// the sound level goes to the module's memory (remembered_sound.h), and the end
// of the video, when the view is to go on to the next file, is posted to the
// Lister once as its "next file" command.
struct PlayerWatch {
  const ::Player* Watched = nullptr;
  HWND Lister = nullptr;
  HWND View = nullptr;
  bool Remember = true;    // the sound level is remembered
  bool NextAtEnd = false;  // At_end=next
  // Set before the plugin asks the player to quit or ends it: its output ending
  // then is no end of the video. Otherwise a player that ends by itself has
  // played its video to the end (VLC, which reports no end, ends there).
  std::atomic<bool> Stopping{false};
  // Owned by the callbacks of the one reader that delivers, which never run two
  // at a time. Lines of a player's output longer than 4096 are skipped: no
  // report is that long.
  CappedLines Lines{4096};
  // The end may be told by two readers at once (a channel's and the output's).
  std::atomic<bool> NextPosted{false};
};

// Lister's own command for its next file (as N), posted to it with the view as its lParam.
constexpr WORD kListerNextFileCommand = 0xFFFA;

// The sink that feeds |watch| (none for null, or for a player that reports nothing).
OutputSink SinkOf(PlayerWatch* watch);
// The sink that tells |watch| only the end of what it reads (none for null).
OutputSink EndOf(PlayerWatch* watch);

// Feeds bytes as a reader delivers them; exposed for tests.
void WatchPlayerOutput(PlayerWatch& watch, const char* bytes, DWORD size);
