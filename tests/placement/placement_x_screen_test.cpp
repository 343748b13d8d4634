// The 1360 by 768 row of the placement table, through the real plugin on a real
// desktop of that size: Wine's X11 driver on an Xvfb screen (the other placement
// tests see the null driver's desktop). CTest runs it on such a screen only.
#include <gtest/gtest.h>

#include <array>

#include "host_test.h"
#include "window_messages.h"

using PlacementOnAnXScreen = HostTest;

TEST_F(PlacementOnAnXScreen, SmartRowAt1360By768) {
  RECT desktop{};
  GetClientRect(GetDesktopWindow(), &desktop);
  ASSERT_EQ(desktop.right - desktop.left, 1360);
  ASSERT_EQ(desktop.bottom - desktop.top, 768);
  LoadWithDefaultSettings(L"smart");
  MoveWindow(lister_, 40, 30, 1000, 700, TRUE);
  MessageRecorder moves(lister_);
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(472, 327));
  ASSERT_NE(opened.View, nullptr);
  ASSERT_EQ(moves.Moves().size(), 1u) << "one MoveWindow";
  const WINDOWPOS& move = moves.Moves().front();
  // w = 952 is exactly the smart limit in the 32-bit build's extended precision,
  // and just beyond it in the 64-bit build's double.
  const std::array<int, 4> expected =
      sizeof(void*) == 8 ? std::array{180, 18, 1000, 733} : std::array{204, 34, 952, 700};
  EXPECT_EQ((std::array{move.x, move.y, move.cx, move.cy}), expected);
  workspace_.Host().CloseWindow(opened.View);
}
