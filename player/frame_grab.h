#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "settings.h"
#include "temporary_folder.h"

// Has the configured player write one frame of |fileName| as an image into
// |folder| (the command lines are in frame_command.h). The image's path when the
// player wrote it and ended by itself before |deadlineTick| (GetTickCount64
// milliseconds); nothing otherwise. A player still running at the deadline is
// ended, with everything it started, and gone before this returns. Shows nothing
// to the user and touches no window.
std::optional<std::wstring> GrabFrame(const PluginSettings& settings, const std::wstring& fileName,
                                      const TemporaryFolder& folder, ULONGLONG deadlineTick);
