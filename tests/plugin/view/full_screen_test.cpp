// The host's command 2 with mpv, which ignores full screen while it draws into
// our window: the plugin shows the view itself over the monitor that holds the
// Lister window and puts it back exactly; whatever ends the view meanwhile
// leaves no window behind. (MPlayer keeps "vo_fullscreen": PlayerStart.*)
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host_resources.h"
#include "host_test.h"
#include "identify_checks.h"
#include "mpv_dialect.h"
#include "player_process.h"
#include "watched_player.h"
#include "window_messages.h"

namespace {

constexpr int kFullScreen = 2;  // the host's command: the Lister's display options changed

RECT WindowRectOf(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Describe(const RECT& rect) {
  return std::to_string(rect.left) + "," + std::to_string(rect.top) + " " + std::to_string(rect.right - rect.left) +
         "x" + std::to_string(rect.bottom - rect.top);
}

RECT MonitorOf(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  return monitor.rcMonitor;
}

// Windows of this thread, top-level and child: what a view may leave behind.
struct WindowCounter {
  int Count = 0;
  static BOOL CALLBACK Child(HWND, LPARAM self) {
    ++reinterpret_cast<WindowCounter*>(self)->Count;
    return TRUE;
  }
  static BOOL CALLBACK TopLevel(HWND window, LPARAM self) {
    Child(window, self);
    EnumChildWindows(window, Child, self);
    return TRUE;
  }
};

int ThreadWindowCount() {
  WindowCounter counter;
  EnumThreadWindows(GetCurrentThreadId(), WindowCounter::TopLevel, reinterpret_cast<LPARAM>(&counter));
  return counter.Count;
}

// What the host does from inside the switch to full screen.
enum class HostAction { CloseView, LoadNextFile, DestroyLister };

const char* Describe(HostAction action) {
  switch (action) {
    case HostAction::CloseView: return "closes the view";
    case HostAction::LoadNextFile: return "loads the next file";
    case HostAction::DestroyLister: return "destroys the Lister";
  }
  return "";
}

}  // namespace

class MpvFullScreen : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    workspace_.WriteMpvSettings();
    host_ = &workspace_.LoadPlugin();
  }

  // A view the size the host gives it, with the focus where the host put it.
  OpenedView OpenSized(HWND lister) {
    OpenedView opened = workspace_.Open(lister, MpvIdentifyScript(640, 480));
    RECT client{};
    GetClientRect(lister, &client);
    MoveWindow(opened.View, 0, 0, client.right, client.bottom, TRUE);
    return opened;
  }

  // This thread's window count once a view has been full screen and closed, so
  // that windows the system makes once per thread (an input method's) are not counted.
  int WarmWindowCount() {
    const OpenedView warm = OpenSized(lister_);
    host_->SendCommand(warm.View, kFullScreen);
    host_->CloseWindow(warm.View);
    return ThreadWindowCount();
  }

  PluginHost* host_ = nullptr;
};

TEST_F(MpvFullScreen, CoversTheListersMonitorAndComesBackExactly) {
  HWND embeddedLister = CreateEmbeddedListerWindow();
  for (HWND lister : {lister_, embeddedLister}) {
    SCOPED_TRACE(lister == lister_ ? "free-standing Lister" : "embedded Lister");
    const OpenedView opened = OpenSized(lister);
    ASSERT_NE(opened.View, nullptr);
    const RECT before = WindowRectOf(opened.View);
    const LONG_PTR styleBefore = GetWindowLongPtrW(opened.View, GWL_STYLE);
    ASSERT_EQ(GetFocus(), opened.View);

    EXPECT_EQ(host_->SendCommand(opened.View, kFullScreen), 0);
    const RECT during = WindowRectOf(opened.View);
    const RECT monitor = MonitorOf(lister);
    std::printf("view before %s, during %s (monitor %s), ", Describe(before).c_str(), Describe(during).c_str(),
                Describe(monitor).c_str());
    EXPECT_TRUE(SameRect(during, monitor)) << Describe(during) << " against " << Describe(monitor);
    EXPECT_EQ(GetAncestor(opened.View, GA_PARENT), GetDesktopWindow()) << "out of the Lister";
    EXPECT_TRUE(GetWindowLongPtrW(opened.View, GWL_EXSTYLE) & WS_EX_TOPMOST);
    const LONG_PTR style = GetWindowLongPtrW(opened.View, GWL_STYLE);
    EXPECT_EQ(style & (WS_CHILD | WS_CAPTION | WS_THICKFRAME | WS_BORDER), 0) << std::hex << style;
    EXPECT_TRUE(style & WS_VISIBLE);
    EXPECT_EQ(GetFocus(), opened.View) << "the keys still come to the view";

    EXPECT_EQ(host_->SendCommand(opened.View, kFullScreen), 0);
    const RECT after = WindowRectOf(opened.View);
    std::printf("after %s\n", Describe(after).c_str());
    EXPECT_TRUE(SameRect(after, before)) << Describe(after) << " against " << Describe(before);
    EXPECT_EQ(GetAncestor(opened.View, GA_PARENT), lister);
    EXPECT_EQ(GetWindowLongPtrW(opened.View, GWL_STYLE), styleBefore);
    EXPECT_FALSE(GetWindowLongPtrW(opened.View, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(GetFocus(), opened.View);
    EXPECT_EQ(GetWindow(lister, GW_CHILD), opened.View);
    EXPECT_EQ(GetWindow(opened.View, GW_HWNDNEXT), nullptr) << "nothing of ours is left in the Lister";

    // Keys went on reaching mpv, and the command itself told it nothing.
    SendMessageW(opened.View, WM_KEYDOWN, VK_SPACE, 1);
    EXPECT_TRUE(opened.Log.WaitForControlPipeInput(std::string(MpvIdentification::Requests()) + "cycle pause\n"))
        << opened.Log.ControlPipeInput();
    host_->CloseWindow(opened.View);
  }
  DestroyListerWindow(embeddedLister);
}

TEST_F(MpvFullScreen, ViewClosedWhileFullScreenLeavesNoWindow) {
  const int windowsBefore = WarmWindowCount();
  const OpenedView opened = OpenSized(lister_);
  ASSERT_NE(opened.View, nullptr);
  const WatchedPlayer player(opened.View);
  host_->SendCommand(opened.View, kFullScreen);
  ASSERT_EQ(GetAncestor(opened.View, GA_PARENT), GetDesktopWindow());

  host_->CloseWindow(opened.View);
  EXPECT_FALSE(IsWindow(opened.View));
  EXPECT_EQ(GetWindow(lister_, GW_CHILD), nullptr);
  EXPECT_EQ(ThreadWindowCount(), windowsBefore);
  EXPECT_TRUE(player.Ended(0));
  EXPECT_EQ(player.ExitCode(), 0u) << "asked to quit, as any close does";
}

TEST_F(MpvFullScreen, ListerDestroyedWhileFullScreenLeavesNoWindowAndEndsThePlayer) {
  const int windowsBefore = WarmWindowCount();
  for (const bool embedded : {false, true}) {
    SCOPED_TRACE(embedded ? "embedded Lister" : "free-standing Lister");
    HWND lister = embedded ? CreateEmbeddedListerWindow() : CreateFreeListerWindow();
    const OpenedView opened = OpenSized(lister);
    ASSERT_NE(opened.View, nullptr);
    const WatchedPlayer player(opened.View);
    host_->SendCommand(opened.View, kFullScreen);
    ASSERT_EQ(GetAncestor(opened.View, GA_PARENT), GetDesktopWindow());

    // The host destroys the Lister window without closing the view first; the
    // quick-view panel's top-level window stays.
    HWND panel = GetParent(lister);
    DestroyWindow(lister);
    EXPECT_FALSE(IsWindow(opened.View));
    EXPECT_TRUE(player.Ended(kQuitGraceMs));
    EXPECT_EQ(player.ExitCode(), 0u) << "it was asked to quit, and did";
    if (panel != nullptr) DestroyWindow(panel);
    EXPECT_EQ(ThreadWindowCount(), windowsBefore);
  }
}

// The next file while the view is shown full screen (the quick-view panel moving
// on): the view goes back into its Lister as it was, and the next mpv plays there.
TEST_F(MpvFullScreen, NextFileWhileFullScreenPutsTheViewBackFirst) {
  HWND lister = CreateEmbeddedListerWindow();
  const OpenedView opened = OpenSized(lister);
  ASSERT_NE(opened.View, nullptr);
  const RECT before = WindowRectOf(opened.View);
  const LONG_PTR styleBefore = GetWindowLongPtrW(opened.View, GWL_STYLE);
  host_->SendCommand(opened.View, kFullScreen);
  ASSERT_EQ(GetAncestor(opened.View, GA_PARENT), GetDesktopWindow());

  const LoadedNext next = workspace_.OpenNext(lister, opened.View, MpvIdentifyScript(320, 240));
  EXPECT_EQ(next.Result, 0) << "the view is still the Lister's";
  EXPECT_TRUE(SameRect(WindowRectOf(opened.View), before)) << Describe(WindowRectOf(opened.View));
  EXPECT_EQ(GetAncestor(opened.View, GA_PARENT), lister);
  EXPECT_EQ(GetWindowLongPtrW(opened.View, GWL_STYLE), styleBefore);
  EXPECT_FALSE(GetWindowLongPtrW(opened.View, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(GetWindow(lister, GW_CHILD), opened.View);
  EXPECT_EQ(GetWindow(opened.View, GW_HWNDNEXT), nullptr) << "nothing of ours is left in the Lister";
  EXPECT_TRUE(next.Log.HasEvent("pipe-connected"));

  // And the next command 2 shows the new player's view full screen afresh.
  host_->SendCommand(opened.View, kFullScreen);
  EXPECT_TRUE(SameRect(WindowRectOf(opened.View), MonitorOf(lister)));
  host_->SendCommand(opened.View, kFullScreen);
  EXPECT_TRUE(SameRect(WindowRectOf(opened.View), before));
  host_->CloseWindow(opened.View);
  DestroyListerWindow(lister);
}

// Full screen, the view has no parent: Q still asks its own Lister to close, and
// nothing else (for an embedded Lister, the top-level window is the file manager's).
TEST_F(MpvFullScreen, QuitKeyAsksTheViewsOwnListerToClose) {
  HWND lister = CreateEmbeddedListerWindow();
  HWND panel = GetParent(lister);
  const OpenedView opened = OpenSized(lister);
  ASSERT_NE(opened.View, nullptr);
  MessageRecorder panelMessages(panel);
  host_->SendCommand(opened.View, kFullScreen);

  SendMessageW(opened.View, WM_KEYDOWN, 'Q', 1);
  EXPECT_EQ(DispatchQueued(lister, WM_CLOSE), 1);
  EXPECT_EQ(DispatchQueued(panel, WM_CLOSE), 0);
  EXPECT_EQ(panelMessages.Count(WM_CLOSE), 0u);
  EXPECT_TRUE(opened.Log.WaitForEvent("exit"));
  host_->CloseWindow(opened.View);
  DestroyListerWindow(lister);
}

// Host code may run inside the switch to full screen: the placeholder's creation
// notifies the Lister (WM_PARENTNOTIFY), and the view's new owner, place and
// focus activate and deactivate windows. A host that closes the view, loads the
// next file or destroys the Lister there leaves no window and no pop-up behind:
// a closed view is gone with its player; the next file plays in the view back in
// its Lister, where it was; a destroyed Lister takes the view with it.
TEST_F(MpvFullScreen, HostCodeInsideTheSwitchLeavesNoPopUpAndNoWindowBehind) {
  const int windowsBefore = WarmWindowCount();
  struct Moment {
    const char* Name;
    UINT Message;
    int LowWord;
  };
  const Moment moments[] = {{"the placeholder's creation", WM_PARENTNOTIFY, WM_CREATE},
                            {"the Lister's deactivation", WM_ACTIVATE, WA_INACTIVE},
                            {"the Lister's frame repainted inactive", WM_NCACTIVATE, -1}};
  for (const Moment& moment : moments) {
    for (const HostAction action : {HostAction::CloseView, HostAction::LoadNextFile, HostAction::DestroyLister}) {
      SCOPED_TRACE(std::string("host ") + Describe(action) + " at " + moment.Name);
      HWND lister = CreateFreeListerWindow();
      const OpenedView opened = OpenSized(lister);
      ASSERT_NE(opened.View, nullptr);
      const RECT before = WindowRectOf(opened.View);
      const WatchedPlayer player(opened.View);
      LoadedNext next{1, PlayerLog(L"")};
      HostCodeOnMessage hostCode(
          lister, moment.Message,
          [&] {
            if (action == HostAction::CloseView) host_->CloseWindow(opened.View);
            if (action == HostAction::LoadNextFile) {
              next = workspace_.OpenNext(lister, opened.View, MpvIdentifyScript(320, 240));
            }
            if (action == HostAction::DestroyLister) DestroyWindow(lister);
          },
          moment.LowWord);
      host_->SendCommand(opened.View, kFullScreen);
      const bool ran = hostCode.Ran();
      std::printf("host %s at %s: %s\n", Describe(action), moment.Name, ran ? "ran" : "the moment never came");
      EXPECT_TRUE(AllHeapsValid());
      if (!ran) {
        host_->CloseWindow(opened.View);
      } else if (action == HostAction::LoadNextFile) {
        EXPECT_EQ(next.Result, 0);
        EXPECT_EQ(GetAncestor(opened.View, GA_PARENT), lister) << "back in its Lister";
        EXPECT_TRUE(SameRect(WindowRectOf(opened.View), before)) << Describe(WindowRectOf(opened.View));
        EXPECT_FALSE(GetWindowLongPtrW(opened.View, GWL_EXSTYLE) & WS_EX_TOPMOST);
        EXPECT_EQ(GetWindowLongPtrW(opened.View, GWL_STYLE) & WS_POPUP, 0);
        EXPECT_EQ(GetWindow(lister, GW_CHILD), opened.View);
        EXPECT_EQ(GetWindow(opened.View, GW_HWNDNEXT), nullptr) << "no placeholder is left in the Lister";
        EXPECT_TRUE(player.Ended(0));
        // The next command 2 shows it full screen, and the one after puts it back.
        host_->SendCommand(opened.View, kFullScreen);
        EXPECT_TRUE(SameRect(WindowRectOf(opened.View), MonitorOf(lister)));
        host_->SendCommand(opened.View, kFullScreen);
        EXPECT_TRUE(SameRect(WindowRectOf(opened.View), before));
        host_->CloseWindow(opened.View);
        EXPECT_TRUE(WaitUntil([&] { return PlayerEnded(next.Log); }));
      } else {
        EXPECT_FALSE(IsWindow(opened.View));
        EXPECT_TRUE(player.Ended(kQuitGraceMs));
      }
      if (IsWindow(lister)) {
        EXPECT_EQ(GetWindow(lister, GW_CHILD), nullptr) << "nothing of ours is left in the Lister";
        DestroyListerWindow(lister);
      }
      EXPECT_EQ(ThreadWindowCount(), windowsBefore) << "no pop-up is left";
    }
  }
}

// The host sizes its plugin's window to the Lister's client area when the Lister
// changes size. While the view is full screen that leaves it over the monitor,
// and the view comes back to the place the host gave it.
TEST_F(MpvFullScreen, HostMovingTheViewMeanwhileChangesOnlyWhereItComesBack) {
  const OpenedView opened = OpenSized(lister_);
  ASSERT_NE(opened.View, nullptr);
  host_->SendCommand(opened.View, kFullScreen);
  const RECT monitor = MonitorOf(lister_);
  ASSERT_TRUE(SameRect(WindowRectOf(opened.View), monitor));

  SetWindowPos(lister_, nullptr, 0, 0, 600, 400, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client{};
  GetClientRect(lister_, &client);
  MoveWindow(opened.View, 0, 0, client.right, client.bottom, TRUE);
  EXPECT_TRUE(SameRect(WindowRectOf(opened.View), monitor)) << Describe(WindowRectOf(opened.View));
  EXPECT_TRUE(GetWindowLongPtrW(opened.View, GWL_EXSTYLE) & WS_EX_TOPMOST);

  host_->SendCommand(opened.View, kFullScreen);
  RECT expected = client;
  MapWindowPoints(lister_, nullptr, reinterpret_cast<POINT*>(&expected), 2);
  EXPECT_TRUE(SameRect(WindowRectOf(opened.View), expected))
      << Describe(WindowRectOf(opened.View)) << " against " << Describe(expected);
  EXPECT_EQ(GetAncestor(opened.View, GA_PARENT), lister_);
  host_->CloseWindow(opened.View);
}
