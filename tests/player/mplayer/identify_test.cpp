// Reading the player's identification through the exports: which files give a
// view, which Lister windows are placed, and that the host's thread is never
// held longer than the identification bound, whatever the player does.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "host_test.h"
#include "identify_checks.h"
#include "identify_reader.h"

namespace {

struct TimedView {
  OpenedView Opened;
  double OpenMs = 0;
};

// A wait held until the bound takes at least kIdentifyBoundMs, less a tick of the
// plugin's clock; a return before that waited for nothing but the player. (In the
// emulated 32-bit lane the player's start alone takes most of the bound.) A busy
// machine stays not far above the bound when it is waited for.
constexpr double kBeforeTheBoundMs = kIdentifyBoundMs - 50.0;
constexpr double kBoundWithSlackMs = kIdentifyBoundMs + 3000.0;

const std::string kFileLine = "write ID_FILENAME=C:\\\\videos\\\\clip.avi\\n\n";
const std::string kSizeLines = "write ID_VIDEO_WIDTH=640\\nID_VIDEO_HEIGHT=480\\n\n";

}  // namespace

class Identification : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    host_ = &LoadWithDefaultSettings(L"normal");
    unplaced_ = OuterSizeOf(lister_);
  }

  // ListLoadW as the host calls it, timed and logged.
  TimedView OpenTimed(const std::string& script, const char* what) {
    const Stopwatch stopwatch;
    OpenedView opened = workspace_.Open(lister_, script);
    const double took = stopwatch.Milliseconds();
    ReportOpenTime(what, took);
    return {std::move(opened), took};
  }

  void ExpectRejectedWithNothingLeft(const TimedView& timed) {
    EXPECT_EQ(timed.Opened.View, nullptr);
    EXPECT_EQ(GetWindow(lister_, GW_CHILD), nullptr) << "the view window is destroyed";
    EXPECT_EQ(OuterSizeOf(lister_), unplaced_) << "a rejected file does not move the Lister window";
    EXPECT_TRUE(WaitUntil([&] { return PlayerEnded(timed.Opened.Log); })) << "no player outlives ListLoadW";
    EXPECT_TRUE(timed.Opened.Log.HasEvent("exit"));
  }

  PluginHost* host_ = nullptr;
  OuterSize unplaced_;
};

TEST_F(Identification, VideoSizeFromLfAndCrlfLinesPlacesTheLister) {
  for (const bool crlf : {false, true}) {
    SCOPED_TRACE(crlf ? "CRLF lines" : "LF lines");
    MoveWindow(lister_, 40, 30, unplaced_.first, unplaced_.second, TRUE);
    const TimedView timed = OpenTimed(IdentifyScript(640, 480, crlf), crlf ? "crlf" : "lf");
    ASSERT_NE(timed.Opened.View, nullptr);
    EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(640, 480));
    EXPECT_EQ(GetFocus(), timed.Opened.View);
    host_->CloseWindow(timed.Opened.View);
    EXPECT_TRUE(timed.Opened.Log.HasEvent("command quit"));
  }
}

TEST_F(Identification, ExitLineBeforeTheFileLineRejectsTheFile) {
  ExpectRejectedWithNothingLeft(
      OpenTimed("write ID_EXIT=EOF\\n\n" + kFileLine + "exit 0\n", "exit line, then file line"));
}

TEST_F(Identification, ExitLineInTheSameWriteAsTheFileLineRejectsTheFile) {
  ExpectRejectedWithNothingLeft(
      OpenTimed("write ID_EXIT=EOF\\nID_FILENAME=C:\\\\videos\\\\clip.avi\\n\nexit 0\n", "exit and file line"));
}

// Size lines may still follow an exit line, so the length line is waited for up to the bound.
TEST_F(Identification, RejectingPlayerThatStaysIsStopped) {
  const TimedView timed = OpenTimed("write ID_EXIT=EOF\\n\n" + kFileLine, "exit line, player stays");
  ExpectRejectedWithNothingLeft(timed);
  EXPECT_TRUE(timed.Opened.Log.HasEvent("command quit"));
}

TEST_F(Identification, PlayerWithoutIdentificationLinesThatExitsKeepsTheViewUnplaced) {
  const TimedView timed =
      OpenTimed("write MPlayer 1.5 (C) 2000-2023 MPlayer Team\\nPlaying clip.avi.\\n\nexit 0\n", "no ID_ lines, exits");
  ASSERT_NE(timed.Opened.View, nullptr);
  EXPECT_EQ(OuterSizeOf(lister_), unplaced_);
  host_->CloseWindow(timed.Opened.View);
}

TEST_F(Identification, PlayerWithoutIdentificationLinesThatStaysIsWaitedForOnlyUntilTheBound) {
  const TimedView timed = OpenTimed("write MPlayer 1.5 (C) 2000-2023 MPlayer Team\\n\n", "no ID_ lines, stays");
  ASSERT_NE(timed.Opened.View, nullptr);
  EXPECT_LT(timed.OpenMs, kBoundWithSlackMs);
  EXPECT_EQ(OuterSizeOf(lister_), unplaced_);
  host_->CloseWindow(timed.Opened.View);
  EXPECT_TRUE(timed.Opened.Log.HasEvent("command quit"));
}

TEST_F(Identification, PlayerSilentAfterItsFileLineIsWaitedForOnlyUntilTheBound) {
  const TimedView timed = OpenTimed(kFileLine, "silent after the file line");
  ASSERT_NE(timed.Opened.View, nullptr) << "a player that may still play keeps its view";
  EXPECT_LT(timed.OpenMs, kBoundWithSlackMs);
  EXPECT_EQ(OuterSizeOf(lister_), unplaced_);
  host_->CloseWindow(timed.Opened.View);
}

TEST_F(Identification, SizesWrittenBeforeTheSilenceAreUsedAtTheBound) {
  const TimedView timed = OpenTimed(kFileLine + kSizeLines, "silent after the size lines");
  ASSERT_NE(timed.Opened.View, nullptr);
  EXPECT_LT(timed.OpenMs, kBoundWithSlackMs);
  EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(640, 480));
  host_->CloseWindow(timed.Opened.View);
}

TEST_F(Identification, FileAndLengthLinesInOneWriteReturnAtOnce) {
  const TimedView timed = OpenTimed(
      "write ID_FILENAME=C:\\\\videos\\\\clip.avi\\nID_VIDEO_WIDTH=640\\nID_VIDEO_HEIGHT=480\\nID_LENGTH=12.00\\n\n",
      "file and length line in one write");
  ASSERT_NE(timed.Opened.View, nullptr);
  EXPECT_LT(timed.OpenMs, kBeforeTheBoundMs) << "nothing more is waited for";
  EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(640, 480));
  host_->CloseWindow(timed.Opened.View);
}

// The player's video window is a child of our view window: making it sends
// messages to the host's thread, which must answer them while it waits.
TEST_F(Identification, PlayerMakingItsVideoWindowDuringIdentificationDoesNotStall) {
  const TimedView timed = OpenTimed("child-window\n" + IdentifyScript(640, 480), "player makes a child window");
  ASSERT_NE(timed.Opened.View, nullptr);
  ASSERT_TRUE(timed.Opened.Log.HasEvent("child-window"));
  EXPECT_NE(FindWindowExW(timed.Opened.View, nullptr, L"StandInVideo", nullptr), nullptr);
  // The identification lines come after the window: they were read before the
  // bound, so the window did not hold us (a player held in its window's creation
  // writes them only once the bound has passed and nobody reads them any more).
  EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(640, 480));
  host_->CloseWindow(timed.Opened.View);
}
