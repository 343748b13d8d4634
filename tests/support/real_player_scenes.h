#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "host_test.h"
#include "identify_checks.h"
#include "real_player.h"
#include "screenshot.h"
#include "test_workspace.h"
#include "watched_player.h"
#include "window_messages.h"

// What the end-to-end tests (the real MPlayer's, mpv's and VLC's) do with a
// live player in an open view; what it does is asked of the player itself.

namespace real_player_scenes {

constexpr double kUpSeconds = 60;  // the Up key's seek
// Generous: the real player seeks, pauses and plays at its own pace on a busy machine.
constexpr auto kPlayerBound = std::chrono::seconds(15);
constexpr DWORD kDamagedPlayBoundMs = 120000;  // the damaged sample lasts 16 s

inline bool IsRunning(const std::string& state) { return state.rfind("running", 0) == 0; }

inline void PressKey(HWND view, WPARAM key) { SendMessageW(view, WM_KEYDOWN, key, 1); }

// What the screen shows of the Lister window once the player has drawn a while,
// into REELPANE_SCREENSHOTS (set by run-real-player) as NAME.bmp.
inline void SaveScreenshot(HWND lister, const std::string& name) {
  const char* folder = std::getenv("REELPANE_SCREENSHOTS");
  if (folder == nullptr) return;
  PumpMessages(700);
  const std::wstring path = JoinPath(WindowsPathOf(folder), FromUtf8(name) + L".bmp");
  std::printf("screenshot: %s\n", SaveWindowScreenshot(lister, path) ? Utf8(path).c_str() : "(failed)");
}

// Up moves the position by about a minute; the player plays on, and Space holds it.
inline void ExpectUpSeeksAMinuteAndSpaceHolds(HWND view, RealPlayer& player) {
  const double beforeUp = player.Position();
  PressKey(view, VK_UP);
  double afterUp = beforeUp;
  EXPECT_TRUE(WaitUntil([&] { return (afterUp = player.Position()) > beforeUp + kUpSeconds / 2; }, kPlayerBound));
  std::printf("Up: position %.2f s before, %.2f s after\n", beforeUp, afterUp);
  EXPECT_NEAR(afterUp - beforeUp, kUpSeconds, 5.0);

  double playing = afterUp;
  EXPECT_TRUE(WaitUntil([&] { return (playing = player.Position()) > afterUp; }, kPlayerBound));
  PressKey(view, VK_SPACE);
  EXPECT_TRUE(WaitUntil([&] { return player.Paused(); }, kPlayerBound));
  const double paused = player.Position();
  PumpMessages(1500);
  const double stillPaused = player.Position();
  std::printf("Space: playing %.2f -> %.2f s; paused at %.2f s, 1.5 s later %.2f s\n", afterUp, playing, paused,
              stillPaused);
  EXPECT_EQ(paused, stillPaused);
}

// Q ends the real player by itself, within the close's grace: a terminated relay
// would end with 0xFFFFFFFF and take its player down unasked. |exited| begins the
// player's state then ("exited 0 QUIT ").
inline void ExpectQuitEndsThePlayerByItself(HWND view, RealPlayer& player, const WatchedPlayer& relay,
                                            const std::function<void()>& close, const std::string& exited) {
  PressKey(view, 'Q');
  close();
  EXPECT_TRUE(relay.Ended(0));
  EXPECT_EQ(relay.ExitCode(), 0u);
  EXPECT_TRUE(WaitUntil([&] { return !IsRunning(player.State()); }, kPlayerBound));
  const std::string quitState = player.State();
  std::printf("Q: relay exit code %lu; real player %s\n", relay.ExitCode(), quitState.c_str());
  EXPECT_EQ(quitState.rfind(exited, 0), 0u) << quitState;
}

// The damaged video, whose decoder warnings would overfill the plugin's pipe,
// plays to its end; the player's state then, which begins with |exited|.
inline std::string ExpectDamagedVideoPlaysToItsEnd(const WatchedPlayer& relay, RealPlayer& player,
                                                   const std::string& exited) {
  const Stopwatch playTime;
  bool ended = false;
  EXPECT_TRUE(WaitUntil([&] { return ended = relay.Ended(0); }, std::chrono::milliseconds(kDamagedPlayBoundMs)))
      << "the damaged video stopped playing: " << player.State();
  const std::string state = player.State();
  std::printf("damaged video: relay %s after %.1f s, exit code %lu; real player %s\n",
              ended ? "ended" : "still running", playTime.Milliseconds() / 1000, relay.ExitCode(), state.c_str());
  EXPECT_EQ(state.rfind(exited, 0), 0u) << state;
  return state;
}

// A host whose player is the relay, installed as |program|, standing for the real
// player; skips unless |scene| (a run-real-player command) has set the scene up.
class RealPlayerHostTest : public HostTest {
 protected:
  void SetUpRelayAs(const wchar_t* program, const char* scene) {
    if (std::getenv("REELPANE_RELAY_PORT") == nullptr || std::getenv("REELPANE_SAMPLES") == nullptr) {
      GTEST_SKIP() << "needs the real player: run " << scene;
    }
    HostTest::SetUp();
    workspace_.InstallPlayer(program, L"relay-player.exe");
    workspace_.WriteSettings({{L"MPlayer_path", program}, {L"View_Size", L"normal"}});
    workspace_.LoadPlugin();
  }

  // ListLoadW of a sample, its time printed as |player|'s.
  HWND OpenSample(const char* sample, const char* player) {
    const Stopwatch stopwatch;
    HWND view = workspace_.Host().LoadW(lister_, SamplePath(sample));
    ReportOpenTime(std::string(sample) + " with the real " + player, stopwatch.Milliseconds());
    return view;
  }

  // The level |player| reads of itself once it is |level|, or after the bound: VLC
  // is told its level on its connection as soon as it answers, which the relay
  // passes on while the test asks on a connection of its own.
  static double LevelOnceTold(RealPlayer& player, double level) {
    double read = player.Volume();
    WaitUntil([&] { return std::abs((read = player.Volume()) - level) < 0.05; }, kPlayerBound);
    return read;
  }

  // Three wheel turns down in a first file; then the level each of three files'
  // players reads of itself, and that of the player of a file opened after the
  // host has started again (the plugin unloaded and loaded anew, the level kept in
  // the host's ini). A click then pauses that player.
  void ExpectVolumeCarriedOverThreeFilesAndARestart(RealPlayer::Kind kind, const wchar_t* program, const char* player) {
    // Samples with sound (a player has no volume without), looped so that each plays on while asked.
    workspace_.WriteSettings({{L"MPlayer_path", program}, {L"View_Size", L"normal"}, {L"At_end", L"loop"}});
    const std::wstring ini = JoinPath(workspace_.Folder(), L"lsplugin.ini");
    workspace_.Host().SetDefaultParams(Utf8(ini));
    HWND view = OpenSample("sample-320x240.mp4", player);
    ASSERT_NE(view, nullptr);
    auto relay = std::make_unique<WatchedPlayer>(view);
    auto live = std::make_unique<RealPlayer>(RealPlayer::Of(relay->ProcessId(), kind));
    ASSERT_TRUE(live->Reachable());
    double before = live->Volume();
    ASSERT_TRUE(WaitUntil([&] { return !std::isnan(before = live->Volume()); }, kPlayerBound));
    double level = before;
    for (int turn = 0; turn < 3; ++turn) {
      // Each turn seen by the player before the next.
      const double previous = level;
      SendMessageW(view, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-WHEEL_DELTA)), MAKELPARAM(50, 50));
      ASSERT_TRUE(WaitUntil([&] { return (level = live->Volume()) < previous; }, kPlayerBound)) << turn;
    }
    std::printf("%s reads its volume %.1f; after three wheel turns down %.1f\n", player, before, level);
    PumpMessages(300);  // its report of the change, read in the background
    for (const char* sample : {"sample-640x480.avi", "sample-640x360.mkv", "sample-320x240.mp4"}) {
      EXPECT_EQ(workspace_.Host().LoadNextW(lister_, view, SamplePath(sample)), 0);
      relay = std::make_unique<WatchedPlayer>(view);
      live = std::make_unique<RealPlayer>(RealPlayer::Of(relay->ProcessId(), kind));
      ASSERT_TRUE(live->Reachable());
      const double carried = LevelOnceTold(*live, level);
      std::printf("next file %s: %s reads its volume %.1f\n", sample, player, carried);
      EXPECT_NEAR(carried, level, 0.05) << sample;
    }
    Close(view, "before the restart");
    EXPECT_TRUE(relay->Ended(0));
    std::printf("the host's ini after the close:\n%s\n", ReadFileBytes(ini).c_str());

    workspace_.Host().Unload();
    workspace_.LoadPlugin(false).SetDefaultParams(Utf8(ini));
    view = OpenSample("sample-640x480.avi", player);
    ASSERT_NE(view, nullptr);
    relay = std::make_unique<WatchedPlayer>(view);
    live = std::make_unique<RealPlayer>(RealPlayer::Of(relay->ProcessId(), kind));
    ASSERT_TRUE(live->Reachable());
    const double restarted = LevelOnceTold(*live, level);
    std::printf("after the restart: %s reads its volume %.1f\n", player, restarted);
    EXPECT_NEAR(restarted, level, 0.05);

    EXPECT_FALSE(live->Paused());
    SendMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(100, 100));
    EXPECT_TRUE(WaitUntil([&] { return live->Paused(); }, kPlayerBound)) << "the click paused the player";
    std::printf("a click: %s paused: %s\n", player, live->Paused() ? "yes" : "no");
    Close(view, "after the click");
    EXPECT_TRUE(relay->Ended(0));
  }

  // With At_end=next, three clips of a folder play through: at each one's end the
  // plugin asks the Lister for the next file, which the host (as Lister does)
  // loads into the view. With At_end=stop the last frame stays (MPlayer only with
  // |stopParams|, which start it idle): screenshot.
  void ExpectFolderPlaysThroughAndTheLastFrameStays(RealPlayer::Kind kind, const wchar_t* program, const char* player,
                                                     const wchar_t* stopParams) {
    workspace_.WriteSettings({{L"MPlayer_path", program}, {L"View_Size", L"normal"}, {L"At_end", L"next"}});
    MessageRecorder lister(lister_);
    const char* clips[] = {"sample-320x240.mp4", "sample-640x480.avi", "sample-640x360.mkv"};
    HWND view = OpenSample(clips[0], player);
    ASSERT_NE(view, nullptr);
    for (size_t i = 0; i < std::size(clips); ++i) {
      auto relay = std::make_unique<WatchedPlayer>(view);
      RealPlayer live = RealPlayer::Of(relay->ProcessId(), kind);
      const std::string file = live.FileName();
      const Stopwatch playing;
      EXPECT_TRUE(WaitUntil([&] { return lister.Count(WM_COMMAND, MAKEWPARAM(0, 0xFFFA)) > i; }, kPlayerBound))
          << clips[i];
      std::printf("%s played %s; the next file asked for after %.1f s\n", player, file.c_str(),
                  playing.Milliseconds() / 1000);
      if (i + 1 < std::size(clips)) {
        EXPECT_EQ(workspace_.Host().LoadNextW(lister_, view, SamplePath(clips[i + 1])), 0);
      }
    }
    Close(view, "after the folder");

    workspace_.WriteSettings({{L"MPlayer_path", program},
                              {L"MPlayer_params", stopParams},
                              {L"View_Size", L"normal"},
                              {L"At_end", L"stop"}});
    view = OpenSample(clips[0], player);
    ASSERT_NE(view, nullptr);
    const WatchedPlayer relay(view);
    PumpMessages(3500);  // the clip lasts 2 s
    std::printf("%s 1.5 s after the end of %s: %s\n", player, clips[0], relay.Running() ? "running" : "ended");
    SaveScreenshot(lister_, std::string("last-frame-") + player);
    Close(view, "after the end");
  }

  // ListCloseWindow, its time printed as |what|'s.
  void Close(HWND view, const char* what) {
    const Stopwatch stopwatch;
    workspace_.Host().CloseWindow(view);
    std::printf("ListCloseWindow, %s: %.1f ms\n", what, stopwatch.Milliseconds());
  }
};

}  // namespace real_player_scenes
