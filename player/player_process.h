#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "player_context.h"

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
};

// Starts the player drawing into the view window. On failure the user has been
// warned ("Cannot create process: ...") and nothing is left open.
std::optional<PlayerContext> StartPlayer(const PlayerStart& start);

// One slave command, without its line end. True when it was written whole;
// a command that could not be is dropped (see CommandCut).
bool SendPlayerCommand(const PlayerContext& context, std::string_view command);

// Whatever the player wrote that nobody read; never waits for the player, and
// lets no host code run.
std::wstring DrainPlayerOutput(HANDLE outputPipe);

// "quit", up to a second's grace, then termination.
void StopPlayer(const PlayerContext& context);

// Stops the output reader, then closes the output pipe, the command pipe, the
// process and the job, in that order.
void ClosePlayerHandles(const PlayerContext& context);
