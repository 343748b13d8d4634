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
#include <set>
#include <string>

#include "host_test.h"
#include "identify_checks.h"
#include "real_player.h"
#include "screenshot.h"
#include "watched_player.h"

namespace {

constexpr double kUpSeconds = 60;  // the Up key's "seek +60"
// Generous: mpv seeks, pauses and plays at its own pace on a busy machine.
constexpr auto kPlayerBound = std::chrono::seconds(15);
constexpr DWORD kDamagedPlayBoundMs = 120000;  // the damaged sample lasts 16 s
// A frame of the test picture has dozens of colours; the colour key alone has one.
constexpr size_t kPictureColours = 20;

std::wstring SamplePath(const char* name) {
  const char* folder = std::getenv("REELPANE_SAMPLES");
  return JoinPath(WindowsPathOf(folder != nullptr ? folder : ""), FromUtf8(name));
}

bool IsRunning(const std::string& state) { return state.rfind("running", 0) == 0; }

void PressKey(HWND view, WPARAM key) { SendMessageW(view, WM_KEYDOWN, key, 1); }

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

class RealMpvEndToEnd : public HostTest {
 protected:
  void SetUp() override {
    if (std::getenv("REELPANE_RELAY_PORT") == nullptr || std::getenv("REELPANE_SAMPLES") == nullptr) {
      GTEST_SKIP() << "needs the real mpv: run tests/end_to_end/run-real-player with mpv";
    }
    HostTest::SetUp();
    workspace_.InstallPlayer(L"mpv.exe", L"relay-player.exe");
    workspace_.WriteSettings({{L"MPlayer_path", L"mpv.exe"}, {L"View_Size", L"normal"}});
    workspace_.LoadPlugin();
  }

  HWND Open(const char* sample) {
    const Stopwatch stopwatch;
    HWND view = workspace_.Host().LoadW(lister_, SamplePath(sample));
    ReportOpenTime(std::string(sample) + " with the real mpv", stopwatch.Milliseconds());
    if (view != nullptr) {  // as the file manager does
      RECT client{};
      GetClientRect(lister_, &client);
      MoveWindow(view, 0, 0, client.right, client.bottom, TRUE);
    }
    return view;
  }

  void Close(HWND view, const char* what) {
    const Stopwatch stopwatch;
    workspace_.Host().CloseWindow(view);
    std::printf("ListCloseWindow, %s: %.1f ms\n", what, stopwatch.Milliseconds());
  }
};

TEST_F(RealMpvEndToEnd, OpensSeeksPausesQuitsPlaysADamagedVideoToItsEndAndRefusesWhatItCannotPlay) {
  // Opens with the size the live mpv reports.
  HWND view = Open("long-640x360.mkv");
  ASSERT_NE(view, nullptr);
  const WatchedPlayer relay(view);
  RealPlayer mpv(relay.ProcessId());
  ASSERT_TRUE(mpv.Reachable());
  const std::string width = mpv.MpvProperty("dwidth");
  const std::string height = mpv.MpvProperty("dheight");
  std::printf("live mpv: %s x %s; Lister window %ld x %ld\n", width.c_str(), height.c_str(),
              OuterSizeOf(lister_).first, OuterSizeOf(lister_).second);
  EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(std::atoi(width.c_str()), std::atoi(height.c_str())));

  // The picture is in the Lister window.
  EXPECT_TRUE(WaitUntil([&] { return mpv.MpvPosition() > 0.5; }, kPlayerBound));
  PumpMessages(300);
  const std::optional<ScreenCapture> picture = CaptureWindow(lister_);
  ASSERT_TRUE(picture.has_value());
  const size_t colours = ColoursIn(*picture);
  std::printf("the Lister window shows %zu colours\n", colours);
  EXPECT_GE(colours, kPictureColours);
  if (const char* folder = std::getenv("REELPANE_SCREENSHOTS")) {
    const std::wstring path = JoinPath(WindowsPathOf(folder), L"real-mpv-lister.bmp");
    std::printf("screenshot: %s\n", SaveWindowScreenshot(lister_, path) ? Utf8(path).c_str() : "(failed)");
  }

  // Up moves the position by about a minute.
  const double beforeUp = mpv.MpvPosition();
  PressKey(view, VK_UP);
  double afterUp = beforeUp;
  EXPECT_TRUE(WaitUntil([&] { return (afterUp = mpv.MpvPosition()) > beforeUp + kUpSeconds / 2; }, kPlayerBound));
  std::printf("Up: time-pos %.2f s before, %.2f s after\n", beforeUp, afterUp);
  EXPECT_NEAR(afterUp - beforeUp, kUpSeconds, 5.0);

  // It plays on, and Space holds it.
  double playing = afterUp;
  EXPECT_TRUE(WaitUntil([&] { return (playing = mpv.MpvPosition()) > afterUp; }, kPlayerBound));
  PressKey(view, VK_SPACE);
  EXPECT_TRUE(WaitUntil([&] { return mpv.MpvProperty("pause") == "true"; }, kPlayerBound));
  const double paused = mpv.MpvPosition();
  PumpMessages(1500);
  const double stillPaused = mpv.MpvPosition();
  std::printf("Space: playing %.2f -> %.2f s; paused at %.2f s, 1.5 s later %.2f s\n", afterUp, playing, paused,
              stillPaused);
  EXPECT_EQ(paused, stillPaused);

  // Q ends mpv by itself, within the close's grace: a terminated relay would end
  // with 0xFFFFFFFF and take mpv down unasked.
  PressKey(view, 'Q');
  Close(view, "after Q");
  EXPECT_TRUE(relay.Ended(0));
  EXPECT_EQ(relay.ExitCode(), 0u);
  EXPECT_TRUE(WaitUntil([&] { return !IsRunning(mpv.State()); }, kPlayerBound));
  const std::string quitState = mpv.State();
  std::printf("Q: relay exit code %lu; real mpv %s\n", relay.ExitCode(), quitState.c_str());
  EXPECT_EQ(quitState.rfind("exited 0 Quit ", 0), 0u) << quitState;

  // A damaged video, over which mpv prints decoder warnings all along, plays to its end.
  HWND damaged = Open("damaged-640x360.avi");
  ASSERT_NE(damaged, nullptr);
  const WatchedPlayer damagedRelay(damaged);
  RealPlayer damagedMpv(damagedRelay.ProcessId());
  const Stopwatch playTime;
  bool ended = false;
  EXPECT_TRUE(WaitUntil([&] { return ended = damagedRelay.Ended(0); }, std::chrono::milliseconds(kDamagedPlayBoundMs)))
      << "the damaged video stopped playing: " << damagedMpv.State();
  const std::string damagedState = damagedMpv.State();
  std::printf("damaged video: relay %s after %.1f s, exit code %lu; real mpv %s\n", ended ? "ended" : "still running",
              playTime.Milliseconds() / 1000, damagedRelay.ExitCode(), damagedState.c_str());
  EXPECT_EQ(damagedState.rfind("exited 0 End-of-file ", 0), 0u) << damagedState;
  Close(damaged, "after the end of the video");

  // A file mpv cannot play: null, and no process on either side (HostTest checks this side).
  EXPECT_EQ(Open("corrupt.avi"), nullptr);
  EXPECT_EQ(GetWindow(lister_, GW_CHILD), nullptr);
  RealPlayer refused = RealPlayer::Latest();
  EXPECT_TRUE(WaitUntil([&] { return !IsRunning(refused.State()); }, kPlayerBound));
  const std::string refusedState = refused.State();
  std::printf("corrupt file: real mpv %s\n", refusedState.c_str());
  EXPECT_EQ(refusedState.rfind("exited 2 ", 0), 0u) << refusedState;

  EXPECT_TRUE(WaitUntil([&] { return !IsRunning(mpv.State()) && !IsRunning(damagedMpv.State()); }, kPlayerBound));
}
