// Placing the Lister window through the exports, with the stand-in player
// reporting the video size and the desktop as Wine reports it.
#include <gtest/gtest.h>

#include <iostream>
#include <vector>

#include "host_test.h"
#include "lister_placement.h"
#include "placement_math.h"
#include "window_messages.h"

namespace {

constexpr int kListerWidth = 1000, kListerHeight = 700;

ScreenRect ToScreenRect(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

ScreenRect WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return ToScreenRect(rect);
}

ScreenRect DesktopAsWineReportsIt() {
  RECT rect{};
  GetClientRect(GetDesktopWindow(), &rect);
  return ToScreenRect(rect);
}

bool operator==(const ScreenRect& a, const ScreenRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Describe(const ScreenRect& rect) {
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + "," + std::to_string(rect.right) + "," +
         std::to_string(rect.bottom);
}

// Identification output whose size lines are |sizeLines| (script escapes).
std::string ScriptWithSizeLines(const std::string& sizeLines) {
  return "write ID_VIDEO_ID=0\\nID_FILENAME=C:\\\\videos\\\\clip.avi\\n\n"
         "write " + sizeLines + "ID_LENGTH=12.00\\n\n";
}

}  // namespace

class Placement : public HostTest {
 protected:
  // The free-standing Lister window back at its usual place and size.
  void ResetLister() { MoveWindow(lister_, 40, 30, kListerWidth, kListerHeight, TRUE); }

  // Opens a file with |script| and expects the Lister window neither moved nor resized.
  void ExpectListerLeftAlone(const std::string& script, bool playable = true) {
    ResetLister();
    const ScreenRect before = WindowRect(lister_);
    MessageRecorder moves(lister_);
    const OpenedView opened = workspace_.Open(lister_, script);
    EXPECT_EQ(opened.View != nullptr, playable);
    EXPECT_TRUE(moves.Moves().empty()) << "moved to " << moves.Moves().front().x << "," << moves.Moves().front().y;
    EXPECT_TRUE(WindowRect(lister_) == before) << Describe(WindowRect(lister_));
    if (opened.View != nullptr) workspace_.Host().CloseWindow(opened.View);
  }
};

TEST_F(Placement, EachModeMovesAFreeStandingListerToTheComputedRectangle) {
  const ScreenRect desktop = DesktopAsWineReportsIt();
  std::cout << "desktop as Wine reports it: " << Describe(desktop) << "\n";
  struct Case {
    const wchar_t* mode;
    int width, height;
  };
  // Sizes that fit the desktop, so that the window keeps the rectangle it is given.
  const Case cases[] = {
      {L"normal", 641, 361},
      {L"double", 320, 241},
      {L"scale_height", 640, 360},
      {L"scale_width", 640, 480},
      {L"smart", 360, 480},   // narrow: keeps the scale_width size
      {L"smart", 1280, 720},  // wide: beyond 0.7 of a desktop below 1673 pixels, takes the scale_height size
  };
  LoadWithDefaultSettings();
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.mode) + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
    workspace_.WriteDefaultSettings(c.mode);
    ResetLister();
    const ScreenRect before = WindowRect(lister_);
    ASSERT_EQ(before.right - before.left, kListerWidth);
    ASSERT_EQ(before.bottom - before.top, kListerHeight);
    const auto expected =
        ComputeListerPlacement<PlacementReal>(*ParseViewSizeMode(c.mode), before, desktop, c.width, c.height);
    ASSERT_TRUE(expected.has_value());
    const ScreenRect target{expected->x, expected->y, expected->x + expected->width, expected->y + expected->height};
    ASSERT_FALSE(target == before) << "the case must move the window";

    MessageRecorder moves(lister_);
    const OpenedView opened = workspace_.Open(lister_, IdentifyScript(c.width, c.height));
    ASSERT_NE(opened.View, nullptr);
    ASSERT_EQ(moves.Moves().size(), 1u) << "one MoveWindow";
    const WINDOWPOS& move = moves.Moves().front();
    EXPECT_EQ((WindowPlacement{move.x, move.y, move.cx, move.cy}), *expected);
    EXPECT_EQ(move.flags & SWP_NOREDRAW, 0u) << "repainting is asked for";
    EXPECT_TRUE(WindowRect(lister_) == target) << Describe(WindowRect(lister_)) << " instead of " << Describe(target);
    std::cout << Utf8(c.mode) << " " << c.width << "x" << c.height << ": " << Describe(target) << "\n";
    workspace_.Host().CloseWindow(opened.View);
  }
}

TEST_F(Placement, OtherWordsLeaveTheListerWhereItIs) {
  LoadWithDefaultSettings();
  for (const wchar_t* word : {L"Normal", L"NORMAL", L"", L"fit", L"SMART", L"scale-width"}) {
    SCOPED_TRACE("View_Size=" + Utf8(word));
    workspace_.WriteDefaultSettings(word);
    ExpectListerLeftAlone(IdentifyScript(640, 480));
  }
  SCOPED_TRACE("no View_Size key");
  workspace_.WriteSettings({{L"MPlayer_path", L"standin-player.exe"}});
  ExpectListerLeftAlone(IdentifyScript(640, 480));
}

TEST_F(Placement, AnEmbeddedListerIsNeverMoved) {
  LoadWithDefaultSettings();
  for (const wchar_t* word : {L"normal", L"double", L"scale_height", L"scale_width", L"smart"}) {
    SCOPED_TRACE(Utf8(word));
    workspace_.WriteDefaultSettings(word);
    HWND embedded = CreateEmbeddedListerWindow();
    HWND panel = GetParent(embedded);
    const ScreenRect embeddedBefore = WindowRect(embedded), panelBefore = WindowRect(panel);
    {
      MessageRecorder embeddedMoves(embedded), panelMoves(panel);
      const OpenedView opened = workspace_.Open(embedded, IdentifyScript(640, 480));
      ASSERT_NE(opened.View, nullptr);
      EXPECT_TRUE(embeddedMoves.Moves().empty());
      EXPECT_TRUE(panelMoves.Moves().empty());
      EXPECT_TRUE(WindowRect(embedded) == embeddedBefore);
      EXPECT_TRUE(WindowRect(panel) == panelBefore);
      workspace_.Host().CloseWindow(opened.View);
    }
    DestroyListerWindow(embedded);
  }
}

TEST_F(Placement, NoUsableVideoSizeLeavesTheListerWhereItIs) {
  LoadWithDefaultSettings(L"normal");
  struct Case {
    const char* what;
    std::string script;
    bool playable;
  };
  const Case cases[] = {
      {"no size lines", ScriptWithSizeLines(""), true},
      {"width 0", ScriptWithSizeLines("ID_VIDEO_WIDTH=0\\nID_VIDEO_HEIGHT=480\\n"), true},
      {"height 0", ScriptWithSizeLines("ID_VIDEO_WIDTH=640\\nID_VIDEO_HEIGHT=0\\n"), true},
      {"both 0", ScriptWithSizeLines("ID_VIDEO_WIDTH=0\\nID_VIDEO_HEIGHT=0\\n"), true},
      {"width -1", ScriptWithSizeLines("ID_VIDEO_WIDTH=-1\\nID_VIDEO_HEIGHT=480\\n"), true},
      {"height -1", ScriptWithSizeLines("ID_VIDEO_WIDTH=640\\nID_VIDEO_HEIGHT=-1\\n"), true},
      {"both -1", ScriptWithSizeLines("ID_VIDEO_WIDTH=-1\\nID_VIDEO_HEIGHT=-1\\n"), false},
      {"the player can't play the file", "write ID_EXIT=EOF\\nID_FILENAME=C:\\\\videos\\\\clip.avi\\n\nexit 1\n",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectListerLeftAlone(c.script, c.playable);
  }
}

// A Lister window gone before its rectangle is read: nothing to compute from,
// and no other window is touched.
TEST_F(Placement, AListerWindowThatIsGoneIsLeftAlone) {
  HWND gone = CreateFreeListerWindow();
  DestroyWindow(gone);
  const ScreenRect before = WindowRect(lister_);
  MessageRecorder moves(lister_);
  for (const wchar_t* word : {L"normal", L"double", L"scale_height", L"scale_width", L"smart"}) {
    PlaceListerWindow(gone, word, 640, 480);
    PlaceListerWindow(nullptr, word, 640, 480);
  }
  EXPECT_TRUE(moves.Moves().empty());
  EXPECT_TRUE(WindowRect(lister_) == before);
}
