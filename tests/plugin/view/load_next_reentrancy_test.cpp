// Host code that runs inside the waits of a switch to the next file (the old
// player's grace, the new player's identification): whatever ends the view ends
// both players, each once, and a second switch of the same view is refused.
#include <gtest/gtest.h>
#include <windows.h>

#include "host_test.h"
#include "identify_checks.h"
#include "player_process.h"
#include "watched_player.h"
#include "window_messages.h"

namespace {

constexpr int kShown = 0;    // LISTPLUGIN_OK
constexpr int kRefused = 1;  // LISTPLUGIN_ERROR

// A new player that lets the switch wait for it a while before it identifies itself.
const std::string kSlowPlayer = "sleep 1500\n" + IdentifyScript(320, 240);

}  // namespace

using LoadNextReentrancy = HostTest;

TEST_F(LoadNextReentrancy, ViewClosedDuringTheOldPlayersGraceEndsItOnceAndStartsNothing) {
  PluginHost& host = LoadWithDefaultSettings();
  const DWORD handlesBefore = WarmHandleCount();
  const OpenedView opened = workspace_.Open(lister_, "ignore-quit\n" + IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  const WatchedPlayer old(opened.View);
  LoadedNext next{kShown, PlayerLog(L"")};
  {
    SentHostCode close(300, [&] { host.CloseWindow(opened.View); });
    next = workspace_.OpenNext(lister_, opened.View, IdentifyScript(320, 240));
    ASSERT_TRUE(close.Ran()) << "the view was to be closed while the old player had its grace";
  }

  EXPECT_EQ(next.Result, kRefused);
  EXPECT_FALSE(IsWindow(opened.View)) << "the host's close destroyed the view";
  EXPECT_TRUE(old.Ended(0));
  EXPECT_EQ(old.ExitCode(), 0xFFFFFFFFu) << "terminated once its grace was over";
  EXPECT_EQ(opened.Log.StandardInput(), "quit\n") << "asked to quit once";
  EXPECT_FALSE(next.Log.Started()) << "no player for a view that is gone";
  EXPECT_EQ(HandleCount(), handlesBefore + 1) << "only the test's own copy of the old player's handle is left";
}

TEST_F(LoadNextReentrancy, ListerDestroyedDuringTheNewPlayersIdentificationEndsItAndLeavesNothing) {
  LoadWithDefaultSettings(L"normal");
  const DWORD handlesBefore = WarmHandleCount();
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  LoadedNext next{kShown, PlayerLog(L"")};
  {
    // Once the new player has started, the switch's next wait is its identification
    // (the old player's end alone is not enough: the stop's wait may still be
    // answering messages when that end is seen).
    const PlayerLog newPlayer = workspace_.NextPlayerLog();
    SentHostCode destroyLister([&] { return newPlayer.Started(); }, [this] { DestroyWindow(lister_); });
    next = workspace_.OpenNext(lister_, opened.View, kSlowPlayer);
    ASSERT_TRUE(destroyLister.Ran());
    lister_ = nullptr;
  }

  EXPECT_EQ(next.Result, kRefused);
  EXPECT_FALSE(IsWindow(opened.View));
  EXPECT_TRUE(next.Log.Started());
  EXPECT_TRUE(WaitUntil([&] { return PlayerEnded(next.Log); }, std::chrono::milliseconds(kQuitGraceMs)))
      << "no player runs on for a view that is gone";
  EXPECT_EQ(next.Log.StandardInput(), "quit\n") << "stopped as a close stops it, once";
  EXPECT_EQ(opened.Log.StandardInput(), "quit\n");
  EXPECT_EQ(HandleCount(), handlesBefore);
}

TEST_F(LoadNextReentrancy, SecondSwitchInsideTheFirstIsRefusedAndTheFirstCompletes) {
  PluginHost& host = LoadWithDefaultSettings(L"normal");
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  LoadedNext nested{kShown, PlayerLog(L"")};
  LoadedNext next{kRefused, PlayerLog(L"")};
  {
    const WatchedPlayer old(opened.View);
    SentHostCode switchAgain([&] { return old.Ended(0); }, [&] {
      nested = workspace_.OpenNext(lister_, opened.View, IdentifyScript(400, 300), L"C:\\videos\\third.avi");
    });
    next = workspace_.OpenNext(lister_, opened.View, kSlowPlayer, L"C:\\videos\\second.avi");
    ASSERT_TRUE(switchAgain.Ran());
  }

  EXPECT_EQ(nested.Result, kRefused) << "the view was still loading its file";
  EXPECT_FALSE(nested.Log.Started());
  EXPECT_EQ(next.Result, kShown);
  EXPECT_TRUE(next.Log.CommandLine().ends_with(L" C:\\videos\\second.avi")) << Utf8(next.Log.CommandLine());
  EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(320, 240));
  EXPECT_EQ(TestWorkspace::RunningChildProcesses().size(), 1u);
  SendMessageW(opened.View, WM_KEYDOWN, 'H', 1);
  host.CloseWindow(opened.View);
  EXPECT_TRUE(next.Log.WaitForInput("loop 1\nquit\n")) << next.Log.StandardInput();
}
