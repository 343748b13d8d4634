#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "identify_reader.h"
#include "player_context.h"
#include "player_dialect.h"

// How long a player has to end by itself after "quit" before it is terminated.
constexpr DWORD kQuitGraceMs = 1000;
// A player that has not read 4 KiB of commands has stopped reading: a command
// that does not fit by then is dropped rather than hold the host.
constexpr DWORD kCommandWriteBoundMs = 250;

struct PlayerStart {
  HWND ViewWindow = nullptr;
  bool Embedded = false;
  std::wstring_view PlayerPath;
  std::wstring_view PlayerParams;
  std::wstring_view FileName;
  PlayerKind Player = PlayerKind::MPlayer;
  std::wstring_view ControlPipe;  // a name from UniquePipeName, for a player that serves a control pipe
};

// Starts the player drawing into the view window. On failure the user has been
// warned ("Cannot create process: ...") and nothing is left open.
std::optional<PlayerContext> StartPlayer(const PlayerStart& start);

// Reads the started player's identification, within kIdentifyBoundMs: from its
// output, or through the control pipe |controlPipe| that it serves, which then
// becomes the context's command pipe.
IdentifyOutcome IdentifyPlayer(PlayerContext& context, const std::wstring& controlPipe);

// The warning that the player started but never served its control pipe; shown
// once for as long as the plugin is loaded, later such files go to the host's
// other viewers without it.
void WarnNoControlPipeOnce(std::wstring_view playerPath);

// One command, without its line end, on the player's command channel. True when
// it was written whole; a command that could not be is dropped (see CommandCut).
bool SendPlayerCommand(const PlayerContext& context, std::string_view command);

// |action| in the player's own dialect. True when its command was written whole;
// false, with nothing written, when the dialect leaves the action to the plugin.
bool SendPlayerAction(const PlayerContext& context, PlayerAction action);
// Whether the player is told |action| at all.
bool PlayerIsTold(const PlayerContext& context, PlayerAction action);

// Whatever the player wrote that nobody read; never waits for the player, and
// lets no host code run.
std::wstring DrainPlayerOutput(HANDLE outputPipe);

// "quit" (in the player's dialect), up to a second's grace, then termination.
void StopPlayer(const PlayerContext& context);

// Stops the output readers, then closes the output pipe, the command pipe, the
// process and the job, in that order.
void ClosePlayerHandles(const PlayerContext& context);
