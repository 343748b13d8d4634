// Host code that runs inside the plugin's waits (they answer messages sent to the
// host's thread): whatever ends a view ends its player, exactly once, and the
// plugin touches nothing of the host's afterwards.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "host_resources.h"
#include "host_test.h"
#include "identify_checks.h"
#include "player_process.h"
#include "watched_player.h"
#include "window_messages.h"

using Reentrancy = HostTest;

TEST_F(Reentrancy, ListerClosedDuringIdentificationEndsThePlayerAndOpensNothing) {
  LoadWithDefaultSettings(L"normal");
  const DWORD handlesBefore = WarmHandleCount();
  OpenedView opened{nullptr, PlayerLog(L"")};
  {
    // What the Lister's default procedure does with a WM_CLOSE another thread sends it.
    SentHostCode closeLister(600, [this] { DestroyWindow(lister_); });
    opened = workspace_.Open(lister_, "sleep 1500\n" + IdentifyScript(640, 480));
    ASSERT_TRUE(closeLister.Ran()) << "the Lister was to be closed while the plugin read the identification";
    lister_ = nullptr;
  }

  EXPECT_EQ(opened.View, nullptr) << "a view destroyed under ListLoadW is no view";
  EXPECT_TRUE(WaitUntil([&] { return PlayerEnded(opened.Log); }, std::chrono::milliseconds(kQuitGraceMs)))
      << "no player runs on for a view nobody can close";
  EXPECT_TRUE(opened.Log.HasEvent("command quit")) << "stopped as a close stops it";
  EXPECT_EQ(HandleCount(), handlesBefore);
}

TEST_F(Reentrancy, NestedCloseDuringTheQuitWaitLeavesTheCloseToTheOuterCall) {
  PluginHost& host = LoadWithDefaultSettings();
  const OpenedView opened = workspace_.Open(lister_, "ignore-quit\n" + IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  WatchedPlayer player(opened.View);
  // Inside the outer close's wait the host closes the same view again, then opens
  // handles of its own, which get the values of any the plugin has just closed.
  std::vector<HANDLE> hostHandles;
  SentHostCode nestedClose(300, [&] {
    host.CloseWindow(opened.View);
    for (int i = 0; i < 6; ++i) hostHandles.push_back(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  });

  host.CloseWindow(opened.View);
  ASSERT_TRUE(nestedClose.Ran());

  for (HANDLE handle : hostHandles) {
    DWORD flags = 0;
    EXPECT_TRUE(GetHandleInformation(handle, &flags)) << "the plugin closed a handle of the host's";
    CloseHandle(handle);
  }
  EXPECT_TRUE(AllHeapsValid()) << "the view's record was freed twice";
  EXPECT_TRUE(player.Ended(0)) << "the outer close still ended the player";
  EXPECT_EQ(player.ExitCode(), 0xFFFFFFFFu) << "terminated once its grace was over";
  EXPECT_FALSE(IsWindow(opened.View));
}

TEST_F(Reentrancy, ListerDestroyedWithAnOpenViewEndsItsPlayer) {
  LoadWithDefaultSettings();
  const DWORD handlesBefore = WarmHandleCount();
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  {
    WatchedPlayer player(opened.View);
    // The host destroys its Lister window without closing the view first.
    DestroyListerWindow(lister_);
    lister_ = nullptr;
    EXPECT_FALSE(IsWindow(opened.View));
    EXPECT_TRUE(player.Ended(kQuitGraceMs)) << "gone within the grace";
    EXPECT_EQ(player.ExitCode(), 0u) << "it was asked to quit, and did";
  }
  EXPECT_EQ(HandleCount(), handlesBefore);
}

TEST_F(Reentrancy, QuitKeyOfAViewClosedDuringItsWritePostsNothing) {
  PluginHost& host = LoadWithDefaultSettings();
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480) + "stop-reading\n");
  ASSERT_NE(opened.View, nullptr);
  // Keys until one's command could not be written whole: the command pipe is full.
  for (int press = 0; press < 4000 && !StoredContext(opened.View).CommandCut; ++press) {
    SendMessageW(opened.View, WM_KEYDOWN, VK_SPACE, 1);
  }
  ASSERT_TRUE(StoredContext(opened.View).CommandCut);

  // The host closes the view while Q's "quit" waits to be written: the close is
  // sent to this thread before Q is pressed, so the first wait that answers sent
  // messages, the one for Q's write, runs it.
  SentHostCode close([] { return true; }, [&] { host.CloseWindow(opened.View); });
  for (int waited = 0; waited < 60000 && (HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) == 0; ++waited) {
    Sleep(1);  // not a pump: the close must wait for Q's write
  }
  SendMessageW(opened.View, WM_KEYDOWN, 'Q', 1);
  ASSERT_TRUE(close.Ran());

  MSG message;
  EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_CLOSE, WM_CLOSE, PM_REMOVE))
      << "a close request was posted on behalf of a closed view, to window " << message.hwnd;
}
