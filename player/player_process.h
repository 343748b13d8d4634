#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "player_context.h"

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

// One slave command, without its line end.
void SendPlayerCommand(const PlayerContext& context, std::string_view command);

// Whatever the player wrote that nobody read; never waits for the player.
std::wstring DrainPlayerOutput(HANDLE outputPipe);

// "quit", up to a second's grace, then termination.
void StopPlayer(const PlayerContext& context);

// Closes the output pipe, the command pipe, the process and the job, in that order.
void ClosePlayerHandles(const PlayerContext& context);
