// The plugin driving Debian's real MPlayer while it plays: the relay player
// (tools/relay_player) stands where MPlayer would, and tools/relay-native runs
// the real player natively, drawing into the Lister window on an X display.
// tests/end_to_end/run-real-player sets that scene up and runs this test alone;
// without it the test skips. What the player does is asked of the player itself,
// through the relay's side channel, never through the plugin.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "host_test.h"
#include "identify_checks.h"
#include "real_player.h"
#include "real_player_scenes.h"
#include "watched_player.h"

using namespace real_player_scenes;

namespace {

// The plugin's pipe holds about this much; a player that prints more than that
// with nobody reading stops.
constexpr long kPipeBytes = 64 * 1024;

// What a player has printed, from its state ("... BYTES").
long PrintedBytes(const std::string& state) { return std::strtol(state.c_str() + state.rfind(' ') + 1, nullptr, 10); }

}  // namespace

class RealPlayerEndToEnd : public RealPlayerHostTest {
 protected:
  void SetUp() override { SetUpRelayAs(L"relay-player.exe", "tests/end_to_end/run-real-player"); }

  HWND Open(const char* sample) { return OpenSample(sample, "player"); }
};

TEST_F(RealPlayerEndToEnd, OpensSeeksPausesQuitsAndPlaysADamagedVideoToItsEnd) {
  // Opens with the size the live player reports.
  HWND view = Open("long-640x360.mkv");
  ASSERT_NE(view, nullptr);
  const WatchedPlayer relay(view);
  RealPlayer player(relay.ProcessId());
  ASSERT_TRUE(player.Reachable());
  const std::string width = player.Property("width");
  const std::string height = player.Property("height");
  std::printf("live player: %s x %s; Lister window %ld x %ld\n", width.c_str(), height.c_str(),
              OuterSizeOf(lister_).first, OuterSizeOf(lister_).second);
  EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(std::atoi(width.c_str()), std::atoi(height.c_str())));

  ExpectUpSeeksAMinuteAndSpaceHolds(view, player);
  ExpectQuitEndsThePlayerByItself(view, player, relay, [&] { Close(view, "after Q"); }, "exited 0 QUIT ");

  // A damaged video whose decoder warnings would overfill the plugin's pipe plays to its end.
  HWND damaged = Open("damaged-640x360.avi");
  ASSERT_NE(damaged, nullptr);
  const WatchedPlayer damagedRelay(damaged);
  RealPlayer damagedPlayer(damagedRelay.ProcessId());
  const std::string damagedState = ExpectDamagedVideoPlaysToItsEnd(damagedRelay, damagedPlayer, "exited 0 EOF ");
  EXPECT_GT(PrintedBytes(damagedState), kPipeBytes) << "the sample must print more than the pipe holds";
  Close(damaged, "after the end of the video");

  // No player is left on either side (HostTest checks the Windows side).
  EXPECT_TRUE(WaitUntil([&] { return !IsRunning(player.State()) && !IsRunning(damagedPlayer.State()); }, kPlayerBound));
}

// The next file in the same view, as Lister's "n" loads it: three samples of
// different sizes in turn. Each is played by a player of its own, at its own
// size, and the Lister window follows; each old player has quit by itself.
TEST_F(RealPlayerEndToEnd, NextFileInTheSameViewPlaysAtItsSizeAndTheListerFollows) {
  // Played in a loop, so that each sample still plays when its player is asked.
  workspace_.WriteSettings(
      {{L"MPlayer_path", L"relay-player.exe"}, {L"MPlayer_params", L"\" -loop 0\""}, {L"View_Size", L"normal"}});
  struct Sample {
    const char* Name;
    int Width, Height;
  };
  const Sample samples[] = {{"sample-640x480.avi", 640, 480}, {"sample-320x240.mp4", 320, 240},
                            {"sample-640x360.mkv", 640, 360}, {"sample-640x480.avi", 640, 480}};
  HWND view = Open(samples[0].Name);
  ASSERT_NE(view, nullptr);
  auto relay = std::make_unique<WatchedPlayer>(view);
  std::unique_ptr<RealPlayer> player;
  for (size_t i = 0; i < std::size(samples); ++i) {
    const Sample& sample = samples[i];
    SCOPED_TRACE(sample.Name);
    if (player != nullptr) {
      const Stopwatch stopwatch;
      EXPECT_EQ(workspace_.Host().LoadNextW(lister_, view, SamplePath(sample.Name)), 0);
      std::printf("ListLoadNextW, %s with the real player: %.1f ms\n", sample.Name, stopwatch.Milliseconds());
      EXPECT_TRUE(relay->Ended(0)) << "the old player is gone when the switch returns";
      EXPECT_EQ(relay->ExitCode(), 0u) << "it quit when asked, within its grace";
      EXPECT_TRUE(WaitUntil([&] { return !IsRunning(player->State()); }, kPlayerBound));
      EXPECT_EQ(player->State().rfind("exited 0 QUIT ", 0), 0u) << player->State();
      relay = std::make_unique<WatchedPlayer>(view);
    }
    ASSERT_TRUE(relay->Running());
    player = std::make_unique<RealPlayer>(relay->ProcessId());
    ASSERT_TRUE(player->Reachable());
    const std::string file = player->Property("filename");
    const std::string width = player->Property("width");
    const std::string height = player->Property("height");
    std::printf("%s: live player plays %s at %s x %s; Lister window %ld x %ld\n", sample.Name, file.c_str(),
                width.c_str(), height.c_str(), OuterSizeOf(lister_).first, OuterSizeOf(lister_).second);
    EXPECT_EQ(file, sample.Name);
    EXPECT_EQ(width, std::to_string(sample.Width));
    EXPECT_EQ(height, std::to_string(sample.Height));
    EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(sample.Width, sample.Height));
    SaveScreenshot(lister_, "next-" + std::to_string(i + 1) + "-" + sample.Name);
  }
  Close(view, "after the last file");
  EXPECT_TRUE(relay->Ended(0));
  EXPECT_TRUE(WaitUntil([&] { return !IsRunning(player->State()); }, kPlayerBound));
}

// The remembered level over three files and a restart, read back from the player
// itself each time; a wheel turn and a click seen by the player.
TEST_F(RealPlayerEndToEnd, VolumeCarriesOverThreeFilesAndARestartAndAClickPauses) {
  ExpectVolumeCarriedOverThreeFilesAndARestart(RealPlayer::Kind::MPlayer, L"relay-player.exe", "MPlayer");
}

// At_end=next plays a folder of three clips through; At_end=stop at the end.
TEST_F(RealPlayerEndToEnd, AFolderPlaysThroughAndTheLastFrameStays) {
  ExpectFolderPlaysThroughAndTheLastFrameStays(RealPlayer::Kind::MPlayer, L"relay-player.exe", "MPlayer",
                                               L"\" -idle -fixed-vo\"");
}
