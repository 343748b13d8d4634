// Many views in one host: eight open at once, each with its own player and
// toggles, and 300 open/close cycles that leave the host as they found it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host_resources.h"
#include "host_test.h"
#include "player_context.h"
#include "watched_player.h"

namespace {

LRESULT Press(HWND view, WPARAM key) { return SendMessageW(view, WM_KEYDOWN, key, 1); }

}  // namespace

class ManyViews : public HostTest {
 protected:
  // The file manager runs for days: a view opened and closed 300 times (100 in
  // the emulated lane, where each takes seconds; a page or a handle leaked per
  // cycle shows as plainly), with |script| for the player of each, must leave its
  // handles, windows and memory as they were after the first few. The caller
  // keeps the pool waiting.
  void ExpectCyclesLeaveNothingBehind(const std::function<std::string(int)>& script) {
    constexpr int kWarmUpCycles = 10;
    const int kCycles = TimeScale() > 1 ? 100 : 300;
    PluginHost& host = workspace_.Host();
    const size_t poolWaitingPlayers = TestWorkspace::RunningChildProcesses().size();
    auto cycle = [&](int number) {
      const OpenedView opened = workspace_.Open(lister_, script(number));
      ASSERT_NE(opened.View, nullptr) << "cycle " << number;
      // Every path a view takes: a toggle, the progress display, the host's command.
      Press(opened.View, 'H');
      Press(opened.View, 'I');
      host.SendCommand(opened.View, 2);
      host.CloseWindow(opened.View);
    };

    const CycleResources measured = MeasureCycles(kWarmUpCycles, kCycles, cycle);

    const std::vector<std::wstring> left = TestWorkspace::RunningChildProcesses();
    ReportResources("after 10 cycles", "after_10", measured.Warm);
    ReportResources("after " + std::to_string(kCycles) + " cycles", "after_all", measured.After);
    std::printf("%d cycles in %.1f s; player processes left: %zu\n", kCycles, measured.Seconds,
                left.size() - poolWaitingPlayers);
    ExpectHostAsWarm(measured.Warm, measured.After, kCycles - kWarmUpCycles);
    EXPECT_EQ(left.size(), poolWaitingPlayers) << testing::PrintToString(left);
  }
};

TEST_F(ManyViews, EightViewsAtOnceKeepTheirKeysTogglesAndClosesApart) {
  constexpr size_t kViews = 8;
  PluginHost& host = LoadWithDefaultSettings();
  struct Open {
    HWND Lister = nullptr;
    OpenedView Opened{nullptr, PlayerLog(L"")};
    std::unique_ptr<WatchedPlayer> Player;
    std::string Expected;  // what its player must have read, in order
    bool Looping = false, Muted = false;
    bool Closed = false;
  };
  std::array<Open, kViews> views;
  for (size_t i = 0; i < kViews; ++i) {
    // Half of them free-standing, half in a quick-view panel.
    views[i].Lister = i % 2 == 0 ? CreateFreeListerWindow() : CreateEmbeddedListerWindow();
    views[i].Opened = workspace_.Open(views[i].Lister, IdentifyScript(320 + 16 * static_cast<int>(i), 240),
                                      L"C:\\videos\\clip " + std::to_wstring(i) + L".mkv");
    ASSERT_NE(views[i].Opened.View, nullptr) << "view " << i;
    views[i].Player = std::make_unique<WatchedPlayer>(views[i].Opened.View);
  }
  std::vector<DWORD> players;
  for (const Open& view : views) {
    const DWORD player = view.Opened.Log.ProcessId();
    EXPECT_EQ(std::count(players.begin(), players.end(), player), 0) << "each view has a player of its own";
    players.push_back(player);
    EXPECT_NE(view.Opened.Log.CommandLine().find(
                  L" -wid " + std::to_wstring(reinterpret_cast<std::intptr_t>(view.Opened.View)) + L" "),
              std::wstring::npos);
  }

  // Each view's keys, a different mix of toggles for each, interleaved across the views.
  auto press = [&](size_t i, WPARAM key) {
    Open& view = views[i];
    EXPECT_EQ(Press(view.Opened.View, key), 0);
    if (key == 'H') {
      view.Looping = !view.Looping;
      view.Expected += view.Looping ? "loop 1\n" : "loop -1\n";
    } else if (key == 'M') {
      view.Muted = !view.Muted;
      view.Expected += view.Muted ? "mute 1\n" : "mute 0\n";
    } else if (key == VK_SPACE) {
      view.Expected += "pause\n";
    } else if (key == VK_RIGHT) {
      view.Expected += "seek +10\n";
    }
  };
  for (size_t round = 0; round < 5; ++round) {
    for (size_t i = 0; i < kViews; ++i) {
      if ((i + round) % 3 != 0) press(i, 'H');
      if ((i * round) % 2 == 1) press(i, 'M');
      if (round == i % 5) press(i, VK_SPACE);
    }
  }
  EXPECT_EQ(host.SendCommand(views[5].Opened.View, 2), 0);
  views[5].Expected += "vo_fullscreen\n";

  // Close in a scattered order; after each close every other view still works.
  for (size_t closing : {3u, 0u, 7u, 5u, 1u, 6u, 2u, 4u}) {
    SCOPED_TRACE("closing view " + std::to_string(closing));
    Open& view = views[closing];
    EXPECT_EQ(StoredContext(view.Opened.View).Looping, view.Looping);
    EXPECT_EQ(StoredContext(view.Opened.View).Muted, view.Muted);
    host.CloseWindow(view.Opened.View);
    view.Closed = true;
    view.Expected += "quit\n";
    EXPECT_FALSE(IsWindow(view.Opened.View));
    EXPECT_TRUE(view.Player->Ended(3000));
    for (size_t i = 0; i < kViews; ++i) {
      if (views[i].Closed) continue;
      EXPECT_TRUE(views[i].Player->Running()) << "view " << i << " lost its player";
      press(i, VK_RIGHT);
    }
    for (size_t i = 0; i < kViews; ++i) {
      EXPECT_TRUE(views[i].Opened.Log.WaitForInput(views[i].Expected))
          << "view " << i << ": " << views[i].Opened.Log.StandardInput();
    }
  }
  for (Open& view : views) DestroyListerWindow(view.Lister);
}

TEST_F(ManyViews, OpenCloseCyclesLeaveNothingBehind) {
  LoadWithDefaultSettings(L"normal");
  KeepPoolWaiting();
  ExpectCyclesLeaveNothingBehind([](int number) { return IdentifyScript(640, 480 - number % 7); });
}

// The same with mpv: each view connects to its control pipe and reads it as well
// as the output, and the host's command puts the view full screen, where the
// close finds it.
TEST_F(ManyViews, MpvOpenCloseCyclesLeaveNothingBehind) {
  workspace_.WriteMpvSettings(L"normal");
  workspace_.LoadPlugin();
  KeepPoolWaiting(MpvIdentifyScript(640, 480));
  ExpectCyclesLeaveNothingBehind([](int number) { return MpvIdentifyScript(640, 480 - number % 7); });
}
