#pragma once
#include <gtest/gtest.h>

#include "player_context.h"
#include "test_workspace.h"

// The record of an open view, as the plugin keeps it in the view's user-data slot.
inline const PlayerContext& StoredContext(HWND view) {
  return *reinterpret_cast<const PlayerContext*>(GetWindowLongPtrW(view, GWLP_USERDATA));
}

// A test that plays the file manager: a private plugin folder, the plugin
// loaded, and one free-standing Lister window.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { lister_ = CreateFreeListerWindow(); }
  void TearDown() override {
    if (warmView_ != nullptr) workspace_.Host().CloseWindow(warmView_);
    if (warmLister_ != nullptr) DestroyListerWindow(warmLister_);
    if (lister_ != nullptr) DestroyListerWindow(lister_);
    const auto box = boxes_.Take();
    EXPECT_FALSE(box.has_value()) << "unexpected message box: " << Utf8(box ? box->second : L"");
    EXPECT_TRUE(WaitUntil([] { return TestWorkspace::RunningChildProcesses().empty(); }))
        << "a child process outlived its test: " << testing::PrintToString(TestWorkspace::RunningChildProcesses());
  }

  // The usual start: the stand-in player next to the plugin and the plugin loaded.
  PluginHost& LoadWithDefaultSettings(const std::wstring& viewSize = L"") {
    workspace_.WriteDefaultSettings(viewSize);
    return workspace_.LoadPlugin();
  }

  // Keeps one view open in a Lister of its own until the test ends, so that what a
  // process sets up once stays set up: the system's thread pool among it, whose
  // waiting (a thread and its event) is set up while a view waits on its player's
  // output and taken down a few seconds after none has. |script| is for a player
  // of the kind the settings name.
  void KeepPoolWaiting(const std::string& script = IdentifyScript(640, 480)) {
    warmLister_ = CreateFreeListerWindow();
    warmView_ = workspace_.Open(warmLister_, script).View;
    PumpMessages(100);
  }

  // This host's handle count with the pool kept waiting (see above).
  DWORD WarmHandleCount() {
    KeepPoolWaiting();
    return HandleCount();
  }

  TestWorkspace workspace_;
  HWND lister_ = nullptr;
  HWND warmLister_ = nullptr;
  HWND warmView_ = nullptr;
  MessageBoxWatcher boxes_;  // a box nobody closes would hold the test forever
};
