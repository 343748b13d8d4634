#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <utility>

#include "test_workspace.h"

// What the identification tests look at: the Lister window's outer size, and
// how long ListLoadW held the host's thread.

using OuterSize = std::pair<long, long>;

// The warning when MPlayer_path is empty and no player was found where the plugin looks.
inline const std::wstring kNoPlayerFoundWarning =
    L"Cannot create process: no player found (MPlayer_path is empty): no mplayer\\mplayer.exe, mpv\\mpv.exe or "
    L"vlc\\vlc.exe in the plugin folder, no vlc installed, no mpv.exe or mplayer.exe on the PATH";

inline OuterSize OuterSizeOf(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

// What View_Size=normal makes of a free-standing Lister window for a video of this size.
inline OuterSize NormalPlacementFor(int width, int height) { return {width + 8, height + 46}; }

// Whether the player that recorded into |log| has ended. Only the player is
// looked at: Wine may start its own helpers as children of the test process.
inline bool PlayerEnded(const PlayerLog& log) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, log.ProcessId());
  if (process == nullptr) return true;
  const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

// Timings are printed and recorded in the test report, not asserted tightly.
inline void ReportOpenTime(const std::string& what, double milliseconds) {
  std::printf("ListLoadW, %s: %.1f ms\n", what.c_str(), milliseconds);
  std::string key = "ListLoadW_ms_" + what;
  std::replace_if(key.begin(), key.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  ::testing::Test::RecordProperty(key, std::to_string(milliseconds));
}
