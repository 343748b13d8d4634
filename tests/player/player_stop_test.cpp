// Closing a view: "quit", a second's grace, termination; everything released.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "host_test.h"
#include "player_process.h"
#include "watched_player.h"

using PlayerStop = HostTest;

TEST_F(PlayerStop, PlayerThatQuitsIsNotTerminated) {
  PluginHost& host = LoadWithDefaultSettings();
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  WatchedPlayer player(opened.View);

  const ULONGLONG start = GetTickCount64();
  host.CloseWindow(opened.View);
  const ULONGLONG took = GetTickCount64() - start;

  EXPECT_LT(took, 900u) << "the close waits only until the player has gone";
  EXPECT_TRUE(player.Ended(5000));
  EXPECT_EQ(player.ExitCode(), 0u) << "the player ended by itself";
  EXPECT_EQ(opened.Log.StandardInput(), "quit\n");
  EXPECT_FALSE(IsWindow(opened.View));
}

TEST_F(PlayerStop, PlayerThatIgnoresQuitIsTerminatedAfterASecond) {
  PluginHost& host = LoadWithDefaultSettings();
  const OpenedView opened = workspace_.Open(lister_, "ignore-quit\n" + IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  WatchedPlayer player(opened.View);

  const ULONGLONG start = GetTickCount64();
  host.CloseWindow(opened.View);
  const ULONGLONG took = GetTickCount64() - start;

  EXPECT_GE(took, 950u);
  EXPECT_LT(took, 3000u);
  EXPECT_TRUE(player.Ended(5000));
  EXPECT_EQ(player.ExitCode(), 0xFFFFFFFFu);
  EXPECT_TRUE(opened.Log.HasEvent("command quit"));
}

// The grace is waited for while answering the messages other threads send to the
// host's thread; a stream of them without pause must not stretch it.
TEST_F(PlayerStop, MessagesSentWithoutPauseDoNotStretchTheGrace) {
  PluginHost& host = LoadWithDefaultSettings();
  const OpenedView opened = workspace_.Open(lister_, "ignore-quit\n" + IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  WatchedPlayer player(opened.View);

  // Several senders, so that one is always waiting to be answered.
  std::atomic<bool> closed{false};
  std::vector<std::thread> senders;
  for (int i = 0; i < 4; ++i) {
    senders.emplace_back([&] {
      while (!closed) SendMessageW(opened.View, WM_NULL, 0, 0);
    });
  }
  const ULONGLONG start = GetTickCount64();
  host.CloseWindow(opened.View);
  const ULONGLONG took = GetTickCount64() - start;
  closed = true;
  for (std::thread& sender : senders) sender.join();

  EXPECT_LT(static_cast<double>(took), kQuitGraceMs + ScaledMs(2000));
  EXPECT_TRUE(player.Ended(5000));
  EXPECT_EQ(player.ExitCode(), 0xFFFFFFFFu);
}

TEST_F(PlayerStop, CloseReleasesEverythingTheViewHeld) {
  PluginHost& host = LoadWithDefaultSettings();
  const DWORD handlesBefore = WarmHandleCount();

  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  // The process, our two pipe ends, the job that ties the player to us and the
  // event of the read that drops the player's output.
  EXPECT_EQ(HandleCount(), handlesBefore + 5);
  host.CloseWindow(opened.View);
  EXPECT_EQ(HandleCount(), handlesBefore);
  EXPECT_EQ(GetWindow(lister_, GW_CHILD), nullptr);
}

TEST_F(PlayerStop, PlayerThatAlreadyEndedClosesAtOnce) {
  PluginHost& host = LoadWithDefaultSettings();
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480) + "sleep 100\nexit 7\n");
  ASSERT_NE(opened.View, nullptr);
  WatchedPlayer player(opened.View);
  ASSERT_TRUE(player.Ended(5000));

  const ULONGLONG start = GetTickCount64();
  host.CloseWindow(opened.View);
  EXPECT_LT(GetTickCount64() - start, 500u);
  EXPECT_EQ(player.ExitCode(), 7u);
}
