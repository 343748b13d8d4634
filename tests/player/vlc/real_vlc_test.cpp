// The plugin driving Debian's real VLC while it plays: the relay player, installed
// as vlc.exe, stands where VLC would. It listens on the view's loopback port itself
// and passes its bytes to the real VLC's own port; tools/relay-native runs VLC
// natively (as an unprivileged user: VLC refuses root), drawing into the Lister
// window on an X display. "tests/end_to_end/run-real-player ... vlc" sets that
// scene up and runs this test alone; without it the test skips. What VLC does is
// asked of VLC itself, on a remote-control connection of the relay's side channel.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host_test.h"
#include "identify_checks.h"
#include "real_player.h"
#include "real_player_scenes.h"
#include "watched_player.h"

using namespace real_player_scenes;

namespace {

// "640x360" from VLC's own "info": its video stream's shown size.
std::string VideoResolution(RealPlayer& vlc) {
  const std::string info = vlc.Ask("info");
  constexpr std::string_view kLabel = "| Video resolution: ";
  const size_t at = info.find(kLabel);
  return at == std::string::npos ? info : info.substr(at + kLabel.size(), info.find('\n', at) - at - kLabel.size());
}

}  // namespace

class RealVlcEndToEnd : public RealPlayerHostTest {
 protected:
  void SetUp() override { SetUpRelayAs(L"vlc.exe", "tests/end_to_end/run-real-player with vlc"); }

  HWND Open(const char* sample) {
    HWND view = OpenSample(sample, "VLC");
    if (view != nullptr) {  // as the file manager does
      RECT client{};
      GetClientRect(lister_, &client);
      MoveWindow(view, 0, 0, client.right, client.bottom, TRUE);
    }
    return view;
  }
};

TEST_F(RealVlcEndToEnd, OpensSeeksPausesShutsDownAndRefusesWhatItCannotPlay) {
  // Opens with the size the live VLC reports.
  HWND view = Open("long-640x360.mkv");
  ASSERT_NE(view, nullptr);
  const WatchedPlayer relay(view);
  RealPlayer vlc = RealPlayer::Vlc(relay.ProcessId());
  ASSERT_TRUE(vlc.Reachable());
  const std::string resolution = VideoResolution(vlc);
  const size_t by = resolution.find('x');
  ASSERT_NE(by, std::string::npos) << resolution;
  const int width = std::atoi(resolution.c_str());
  const int height = std::atoi(resolution.c_str() + by + 1);
  std::printf("live VLC: %d x %d; Lister window %ld x %ld\n", width, height, OuterSizeOf(lister_).first,
              OuterSizeOf(lister_).second);
  EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(width, height));

  EXPECT_TRUE(WaitUntil([&] { return vlc.Position() >= 1; }, kPlayerBound));
  SaveScreenshot(lister_, "real-vlc-lister");

  // ] then Backspace: VLC plays on.
  PressKey(view, 0xDD);
  PressKey(view, VK_BACK);

  ExpectUpSeeksAMinuteAndSpaceHolds(view, vlc);
  ExpectQuitEndsThePlayerByItself(view, vlc, relay, [&] { Close(view, "after Q"); }, "exited 0 ");

  // Start_paused holds the first frame, and . steps one frame on, paused.
  workspace_.WriteSettings({{L"MPlayer_path", L"vlc.exe"}, {L"View_Size", L"normal"}, {L"Start_paused", L"1"}});
  view = Open("long-640x360.mkv");
  ASSERT_NE(view, nullptr);
  const WatchedPlayer paused(view);
  RealPlayer next = RealPlayer::Vlc(paused.ProcessId());
  EXPECT_TRUE(WaitUntil([&] { return next.Paused(); }, kPlayerBound)) << "started paused";
  PressKey(view, 0xBE);
  PumpMessages(500);
  std::printf("Start_paused, then .: VLC %s at %.0f s\n", next.Paused() ? "paused" : "playing", next.Position());
  EXPECT_TRUE(next.Paused());
  EXPECT_LT(next.Position(), 1);
  Close(view, "the paused file");
  workspace_.WriteSettings({{L"MPlayer_path", L"vlc.exe"}, {L"View_Size", L"normal"}});

  // A file VLC cannot play: null, and no process on either side (HostTest checks this side).
  EXPECT_EQ(Open("corrupt.avi"), nullptr);
  EXPECT_EQ(GetWindow(lister_, GW_CHILD), nullptr);
  RealPlayer refused = RealPlayer::Latest(false);
  EXPECT_TRUE(WaitUntil([&] { return !IsRunning(refused.State()); }, kPlayerBound));
  const std::string refusedState = refused.State();
  std::printf("corrupt file: real VLC %s\n", refusedState.c_str());
  EXPECT_EQ(refusedState.rfind("exited 0 ", 0), 0u) << refusedState;
}

// The remembered level over three files and a restart, read back from VLC itself
// each time (its level told as soon as it answers); a wheel turn and a click seen by VLC.
TEST_F(RealVlcEndToEnd, VolumeCarriesOverThreeFilesAndARestartAndAClickPauses) {
  ExpectVolumeCarriedOverThreeFilesAndARestart(RealPlayer::Kind::Vlc, L"vlc.exe", "VLC");
}

// At_end=next plays a folder of three clips through (VLC ends at each one's end);
// At_end=stop at the end: VLC's view goes dark.
TEST_F(RealVlcEndToEnd, AFolderPlaysThroughAndTheViewGoesDarkAtTheEnd) {
  ExpectFolderPlaysThroughAndTheLastFrameStays(RealPlayer::Kind::Vlc, L"vlc.exe", "VLC", L"");
}
