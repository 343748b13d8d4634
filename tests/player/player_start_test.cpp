// Starting the player: its exact command line, the warning when it can't be
// started, and the host's full-screen command.
#include <gtest/gtest.h>

#include "host_test.h"
#include "identify_checks.h"

using PlayerStart = HostTest;

TEST_F(PlayerStart, CommandLineForAFreeStandingAndAnEmbeddedLister) {
  PluginHost& host = LoadWithDefaultSettings();
  const std::wstring player = JoinPath(workspace_.Folder(), L"standin-player.exe");

  const OpenedView free = workspace_.Open(lister_, IdentifyScript(640, 480), L"C:\\videos\\clip.avi");
  ASSERT_NE(free.View, nullptr);
  EXPECT_EQ(free.Log.CommandLine(), player + L" -quiet -slave -identify -keepaspect -wid " + HandleText(free.View) +
                                        L" -colorkey 0x101010 C:\\videos\\clip.avi");
  host.CloseWindow(free.View);

  HWND embeddedLister = CreateEmbeddedListerWindow();
  const OpenedView embedded = workspace_.Open(embeddedLister, IdentifyScript(640, 480), L"C:\\videos\\clip.avi");
  ASSERT_NE(embedded.View, nullptr);
  EXPECT_EQ(embedded.Log.CommandLine(), player + L" -quiet -slave -identify -wid " + HandleText(embedded.View) +
                                            L" -colorkey 0x101010 C:\\videos\\clip.avi");
  host.CloseWindow(embedded.View);
  DestroyListerWindow(embeddedLister);
}

TEST_F(PlayerStart, BlanksInPathAndFileNameAreQuoted) {
  workspace_.MakeFolder(L"my player");
  const std::wstring player = workspace_.InstallPlayer(L"my player\\standin-player.exe");
  workspace_.WriteSettings({{L"MPlayer_path", L"my player\\standin-player.exe"}, {L"MPlayer_params", L"\" -vo gl -fs\""}});
  PluginHost& host = workspace_.LoadPlugin();
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480), L"C:\\my videos\\a clip.mkv");
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(opened.Log.CommandLine(), L"\"" + player + L"\" -vo gl -fs -quiet -slave -identify -keepaspect -wid " +
                                          HandleText(opened.View) + L" -colorkey 0x101010 \"C:\\my videos\\a clip.mkv\"");
  host.CloseWindow(opened.View);
}

TEST_F(PlayerStart, ParametersWithoutLeadingBlankFollowThePathDirectly) {
  // Glued to the path, the parameters become part of the program's name.
  workspace_.InstallPlayer(L"standin-player.exe-x.exe");
  workspace_.WriteSettings({{L"MPlayer_path", L"standin-player.exe"}, {L"MPlayer_params", L"-x.exe"}});
  PluginHost& host = workspace_.LoadPlugin();
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480), L"a.avi");
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(opened.Log.CommandLine(), JoinPath(workspace_.Folder(), L"standin-player.exe") +
                                          L"-x.exe -quiet -slave -identify -keepaspect -wid " +
                                          HandleText(opened.View) + L" -colorkey 0x101010 a.avi");
  host.CloseWindow(opened.View);
}

TEST_F(PlayerStart, MissingPlayerWarnsAndLeavesNothingOpen) {
  PluginHost& host = LoadWithDefaultSettings();
  KeepPoolWaiting();
  workspace_.WriteSettings({{L"MPlayer_path", L"no such folder\\mplayer.exe"}});
  // Warm up whatever the first start allocates once per process, then count.
  host.LoadW(lister_, L"C:\\videos\\clip.avi");
  boxes_.Take();
  const DWORD handlesBefore = HandleCount();

  EXPECT_EQ(host.LoadW(lister_, L"C:\\videos\\clip.avi"), nullptr);
  const auto box = boxes_.Take();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->first, L"reelpane");
  EXPECT_EQ(box->second, L"Cannot create process: " + JoinPath(workspace_.Folder(), L"no such folder\\mplayer.exe"));
  EXPECT_EQ(GetWindow(lister_, GW_CHILD), nullptr) << "the view window is destroyed";
  EXPECT_EQ(HandleCount(), handlesBefore) << "all four pipe ends are closed";
}

TEST_F(PlayerStart, NoSettingsFileWarnsWithAnEmptyPath) {
  PluginHost& host = workspace_.LoadPlugin();
  EXPECT_EQ(host.LoadW(lister_, L"C:\\videos\\clip.avi"), nullptr);
  const auto box = boxes_.Take();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->second, kNoPlayerFoundWarning);
}

TEST_F(PlayerStart, FullScreenOnlyForTheOptionsChangedCommand) {
  PluginHost& host = LoadWithDefaultSettings();
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  for (int command : {0, 1, 3, 4, -1, 1000}) EXPECT_EQ(host.SendCommand(opened.View, command, 2), 0);
  EXPECT_EQ(host.SendCommand(opened.View, 2, 0), 0);
  EXPECT_TRUE(opened.Log.WaitForInput("vo_fullscreen\n"));
  host.CloseWindow(opened.View);
  EXPECT_TRUE(opened.Log.WaitForInput("vo_fullscreen\nquit\n"));
}

// The host may hand us a window that is not one of our views: nothing happens.
TEST_F(PlayerStart, ForeignWindowsAreLeftAlone) {
  PluginHost& host = LoadWithDefaultSettings();
  HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_CHILD, 0, 0, 10, 10, lister_, nullptr, nullptr, nullptr);
  SetWindowLongPtrW(other, GWLP_USERDATA, 0x1234);
  EXPECT_EQ(host.SendCommand(other, 2, 0), 0);
  host.CloseWindow(other);
  host.CloseWindow(nullptr);
  EXPECT_TRUE(IsWindow(other));
  EXPECT_EQ(host.SendCommand(nullptr, 2, 0), 0);
}

// A helper's output pipe that the file manager made inheritable on another
// thread just as a view opened: once the helper's side closes its write end,
// the pipe has ended, because the player received no copy of it.
TEST_F(PlayerStart, PlayerInheritsOnlyItsOwnPipeEnds) {
  PluginHost& host = LoadWithDefaultSettings();
  SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
  HANDLE helperRead = nullptr;
  HANDLE helperWrite = nullptr;
  ASSERT_TRUE(CreatePipe(&helperRead, &helperWrite, &inheritable, 0));
  SetHandleInformation(helperRead, HANDLE_FLAG_INHERIT, 0);  // only the end a helper's child would get

  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  CloseHandle(helperWrite);
  DWORD available = 0;
  EXPECT_FALSE(PeekNamedPipe(helperRead, nullptr, 0, nullptr, &available, nullptr))
      << "the helper's pipe is still open: the player holds its write end";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  CloseHandle(helperRead);

  // The player's own ends still reach it.
  SendMessageW(opened.View, WM_KEYDOWN, VK_SPACE, 1);
  EXPECT_TRUE(opened.Log.WaitForInput("pause\n")) << opened.Log.StandardInput();
  host.CloseWindow(opened.View);
  EXPECT_TRUE(opened.Log.HasEvent("command quit"));
}
