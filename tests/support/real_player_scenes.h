#pragma once
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "host_test.h"
#include "identify_checks.h"
#include "real_player.h"
#include "screenshot.h"
#include "test_workspace.h"
#include "watched_player.h"

// What both end-to-end tests (the real MPlayer's and the real mpv's) do with a
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

  // ListCloseWindow, its time printed as |what|'s.
  void Close(HWND view, const char* what) {
    const Stopwatch stopwatch;
    workspace_.Host().CloseWindow(view);
    std::printf("ListCloseWindow, %s: %.1f ms\n", what, stopwatch.Milliseconds());
  }
};

}  // namespace real_player_scenes
