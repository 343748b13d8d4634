// The plugin driving Debian's real mpv while it plays: the relay player, installed
// as mpv.exe, stands where mpv would. It serves the control pipe itself and passes
// its bytes to the real mpv's own socket; tools/relay-native runs mpv natively,
// drawing into the Lister window on an X display. "tests/end_to_end/run-real-player
// ... mpv" sets that scene up and runs this test alone; without it the test skips.
// What mpv does is asked of mpv itself, through the relay's side channel, never
// through the plugin.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>

#include "host_test.h"
#include "identify_checks.h"
#include "real_player.h"
#include "real_player_scenes.h"
#include "screenshot.h"
#include "watched_player.h"

using namespace real_player_scenes;

namespace {

// A frame of the test picture has dozens of colours; the colour key alone has one.
constexpr size_t kPictureColours = 20;

size_t ColoursIn(const ScreenCapture& capture) {
  std::set<std::string> colours;
  const size_t stride = static_cast<size_t>((capture.Width * 3 + 3) & ~3);
  for (size_t row = 0; row < static_cast<size_t>(capture.Height); ++row) {
    for (size_t column = 0; column < static_cast<size_t>(capture.Width); ++column) {
      colours.insert(capture.Rows.substr(row * stride + column * 3, 3));
    }
  }
  return colours.size();
}

}  // namespace

class RealMpvEndToEnd : public RealPlayerHostTest {
 protected:
  void SetUp() override { SetUpRelayAs(L"mpv.exe", "tests/end_to_end/run-real-player with mpv"); }

  HWND Open(const char* sample) {
    HWND view = OpenSample(sample, "mpv");
    if (view != nullptr) {  // as the file manager does
      RECT client{};
      GetClientRect(lister_, &client);
      MoveWindow(view, 0, 0, client.right, client.bottom, TRUE);
    }
    return view;
  }
};

TEST_F(RealMpvEndToEnd, OpensSeeksPausesQuitsPlaysADamagedVideoToItsEndAndRefusesWhatItCannotPlay) {
  // Opens with the size the live mpv reports.
  HWND view = Open("long-640x360.mkv");
  ASSERT_NE(view, nullptr);
  const WatchedPlayer relay(view);
  RealPlayer mpv(relay.ProcessId(), true);
  ASSERT_TRUE(mpv.Reachable());
  const std::string width = mpv.MpvProperty("dwidth");
  const std::string height = mpv.MpvProperty("dheight");
  std::printf("live mpv: %s x %s; Lister window %ld x %ld\n", width.c_str(), height.c_str(),
              OuterSizeOf(lister_).first, OuterSizeOf(lister_).second);
  EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(std::atoi(width.c_str()), std::atoi(height.c_str())));

  // The picture is in the Lister window.
  EXPECT_TRUE(WaitUntil([&] { return mpv.Position() > 0.5; }, kPlayerBound));
  PumpMessages(300);
  const std::optional<ScreenCapture> picture = CaptureWindow(lister_);
  ASSERT_TRUE(picture.has_value());
  const size_t colours = ColoursIn(*picture);
  std::printf("the Lister window shows %zu colours\n", colours);
  EXPECT_GE(colours, kPictureColours);
  SaveScreenshot(lister_, "real-mpv-lister");

  ExpectUpSeeksAMinuteAndSpaceHolds(view, mpv);
  ExpectQuitEndsThePlayerByItself(view, mpv, relay, [&] { Close(view, "after Q"); }, "exited 0 Quit ");

  // A damaged video, over which mpv prints decoder warnings all along, plays to its end.
  HWND damaged = Open("damaged-640x360.avi");
  ASSERT_NE(damaged, nullptr);
  const WatchedPlayer damagedRelay(damaged);
  RealPlayer damagedMpv(damagedRelay.ProcessId(), true);
  // It plays to its end and, as At_end=stop has it, holds its last frame there, paused.
  const Stopwatch playTime;
  EXPECT_TRUE(WaitUntil([&] { return damagedMpv.MpvProperty("eof-reached") == "true"; },
                        std::chrono::milliseconds(kDamagedPlayBoundMs)))
      << "the damaged video stopped playing: " << damagedMpv.State();
  std::printf("damaged video: at its end after %.1f s; real mpv %s, paused: %s\n", playTime.Milliseconds() / 1000,
              damagedMpv.State().c_str(), damagedMpv.Paused() ? "yes" : "no");
  EXPECT_TRUE(damagedRelay.Running()) << "the last frame is kept";
  EXPECT_TRUE(damagedMpv.Paused());
  Close(damaged, "after the end of the video");
  EXPECT_TRUE(damagedRelay.Ended(0));

  // A file mpv cannot play: null, and no process on either side (HostTest checks this side).
  EXPECT_EQ(Open("corrupt.avi"), nullptr);
  EXPECT_EQ(GetWindow(lister_, GW_CHILD), nullptr);
  RealPlayer refused = RealPlayer::Latest(true);
  EXPECT_TRUE(WaitUntil([&] { return !IsRunning(refused.State()); }, kPlayerBound));
  const std::string refusedState = refused.State();
  std::printf("corrupt file: real mpv %s\n", refusedState.c_str());
  EXPECT_EQ(refusedState.rfind("exited 2 ", 0), 0u) << refusedState;

  EXPECT_TRUE(WaitUntil([&] { return !IsRunning(mpv.State()) && !IsRunning(damagedMpv.State()); }, kPlayerBound));
}

// The remembered level over three files and a restart, read back from the player
// itself each time; a wheel turn and a click seen by the player.
TEST_F(RealMpvEndToEnd, VolumeCarriesOverThreeFilesAndARestartAndAClickPauses) {
  ExpectVolumeCarriedOverThreeFilesAndARestart(RealPlayer::Kind::Mpv, L"mpv.exe", "mpv");
}

// At_end=next plays a folder of three clips through; At_end=stop at the end.
TEST_F(RealMpvEndToEnd, AFolderPlaysThroughAndTheLastFrameStays) {
  ExpectFolderPlaysThroughAndTheLastFrameStays(RealPlayer::Kind::Mpv, L"mpv.exe", "mpv", L"");
}
