#pragma once
#include <gtest/gtest.h>

#include "test_workspace.h"

// A test that plays the file manager: a private plugin folder, the plugin
// loaded, and one free-standing Lister window.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { lister_ = CreateFreeListerWindow(); }
  void TearDown() override {
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

  // This host's handle count after one view has been opened and closed, so that
  // what a process sets up once is not counted: the system's thread pool among
  // it, which sets up its waiting while the view stays open for a moment.
  DWORD WarmHandleCount() {
    const HWND view = workspace_.Open(lister_, IdentifyScript(640, 480)).View;
    PumpMessages(100);
    workspace_.Host().CloseWindow(view);
    return HandleCount();
  }

  TestWorkspace workspace_;
  HWND lister_ = nullptr;
  MessageBoxWatcher boxes_;  // a box nobody closes would hold the test forever
};
