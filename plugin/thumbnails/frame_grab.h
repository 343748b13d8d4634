#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "players.h"
#include "settings.h"
#include "temporary_folder.h"

// Has the configured player write one frame of |fileName|, fitted to |boxWidth| x
// |boxHeight|, as an image into |folder| (each player's WriteFrame, in its own
// folder under player/). The player runs in that folder, whose name may hold
// anything a folder's name may (commas, blanks, letters beyond ASCII). The
// image's path when the player wrote it and ended by itself before
// |deadlineTick| (GetTickCount64 milliseconds); nothing otherwise. A player still running at the deadline is
// ended, with everything it started, and gone before this returns. Shows nothing
// to the user and touches no window.
std::optional<std::wstring> GrabFrame(const PluginSettings& settings, const PlayerProgram& program,
                                      const std::wstring& fileName,
                                      const TemporaryFolder& folder, int boxWidth, int boxHeight,
                                      ULONGLONG deadlineTick);
