// What a user of the viewer keeps: the sound level the players last reported,
// carried into the next player's command line and kept in the host's ini across
// restarts; the mouse; the typed characters; what happens at the end of a video;
// the start paused.
#include <gtest/gtest.h>

#include <string>

#include "host_test.h"
#include "window_messages.h"

namespace {

// MPlayer's question after a volume change, and its answer as the stand-in gives it.
const std::string kAskSound = "pausing_keep_force get_property volume\npausing_keep_force get_property mute\n";
std::string AnswersSound(const std::string& volume, const std::string& muted) {
  return "await pausing_keep_force get_property mute\nwrite ANS_volume=" + volume + "\\nANS_mute=" + muted + "\\n\n";
}

// Lister's "next file" command, as a plugin asks for it.
constexpr WPARAM kNextFileCommand = MAKEWPARAM(0, 0xFFFA);

std::wstring Tail(HWND view, const std::wstring& options, const std::wstring& file) {
  return L" -wid " + HandleText(view) + L" -colorkey 0x101010" + options + L" " + file;
}

}  // namespace

class SoundMemory : public HostTest {};

TEST_F(SoundMemory, TheLevelTheLastPlayerReportedStartsTheNextFileAndEveryNewView) {
  LoadWithDefaultSettings();
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480) + AnswersSound("37.500000", "no"));
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(SendMessageW(opened.View, WM_KEYDOWN, '0', 1), 0);
  EXPECT_TRUE(opened.Log.WaitForInput("volume +1\n" + kAskSound)) << opened.Log.StandardInput();

  // The answer is read before the old player's reader stops: the next file starts at it.
  const LoadedNext next = workspace_.OpenNext(lister_, opened.View, IdentifyScript(640, 480));
  ASSERT_EQ(next.Result, 0);
  EXPECT_TRUE(next.Log.CommandLine().ends_with(Tail(opened.View, L" -volume 37.5", L"C:\\videos\\next.avi")))
      << Utf8(next.Log.CommandLine());
  // Muting is what the player was told; MPlayer is muted once identified.
  EXPECT_EQ(SendMessageW(opened.View, WM_KEYDOWN, 'M', 1), 0);
  EXPECT_TRUE(next.Log.WaitForInput("mute 1\n"));
  workspace_.Host().CloseWindow(opened.View);

  const HWND other = CreateFreeListerWindow();
  const OpenedView again = workspace_.Open(other, IdentifyScript(640, 480));
  ASSERT_NE(again.View, nullptr);
  EXPECT_TRUE(again.Log.CommandLine().ends_with(Tail(again.View, L" -volume 37.5", L"C:\\videos\\clip.avi")));
  EXPECT_TRUE(again.Log.WaitForInput("mute 1\n")) << again.Log.StandardInput();
  workspace_.Host().CloseWindow(again.View);

  // Remember_volume=0: the player's own level, and nothing told.
  workspace_.WriteSettings({{L"MPlayer_path", L"standin-player.exe"}, {L"Remember_volume", L"0"}});
  const OpenedView forgetting = workspace_.Open(other, IdentifyScript(640, 480));
  ASSERT_NE(forgetting.View, nullptr);
  EXPECT_TRUE(forgetting.Log.CommandLine().ends_with(Tail(forgetting.View, L"", L"C:\\videos\\clip.avi")));
  workspace_.Host().CloseWindow(forgetting.View);
  EXPECT_EQ(forgetting.Log.StandardInput(), "quit\n");
  DestroyListerWindow(other);
}

TEST_F(SoundMemory, SavedInTheHostsIniAtCloseAndReadAfterARestart) {
  const std::wstring ini = JoinPath(workspace_.Folder(), L"lsplugin.ini");
  const std::string others = "[other plugin]\r\nkey=value\r\n";
  WriteFileBytes(ini, others + "[reelpane]\r\nVolume=20\r\nMuted=0\r\n");
  workspace_.WriteDefaultSettings();
  workspace_.LoadPlugin(false).SetDefaultParams(Utf8(ini));

  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480) + AnswersSound("19.000000", "yes"));
  ASSERT_NE(opened.View, nullptr);
  EXPECT_TRUE(opened.Log.CommandLine().ends_with(Tail(opened.View, L" -volume 20", L"C:\\videos\\clip.avi")));
  EXPECT_EQ(ReadFileBytes(ini), others + "[reelpane]\r\nVolume=20\r\nMuted=0\r\n") << "nothing written at a key";
  EXPECT_EQ(SendMessageW(opened.View, WM_KEYDOWN, '9', 1), 0);
  EXPECT_TRUE(opened.Log.WaitForInput("volume -1\n" + kAskSound));
  workspace_.Host().CloseWindow(opened.View);

  // The section has the player's last answer; the other sections are as they were,
  // and the copy written first is gone.
  const std::string saved = ReadFileBytes(ini);
  EXPECT_TRUE(saved.starts_with(others)) << saved;
  EXPECT_NE(saved.find("Volume=19\r\n"), std::string::npos) << saved;
  EXPECT_NE(saved.find("Muted=1\r\n"), std::string::npos) << saved;
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW(JoinPath(workspace_.Folder(), L"*.tmp").c_str(), &found);
  EXPECT_EQ(search, INVALID_HANDLE_VALUE) << Utf8(found.cFileName);
  if (search != INVALID_HANDLE_VALUE) FindClose(search);

  // The file manager started again: the plugin loaded afresh reads the section.
  workspace_.Host().Unload();
  workspace_.LoadPlugin(false).SetDefaultParams(Utf8(ini));
  const OpenedView restarted = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(restarted.View, nullptr);
  EXPECT_TRUE(restarted.Log.CommandLine().ends_with(Tail(restarted.View, L" -volume 19", L"C:\\videos\\clip.avi")));
  EXPECT_TRUE(restarted.Log.WaitForInput("mute 1\n"));
  workspace_.Host().CloseWindow(restarted.View);
  EXPECT_EQ(ReadFileBytes(ini), saved) << "nothing new to save";
}

TEST_F(SoundMemory, MpvStartsAtTheLevelItLastReported) {
  workspace_.WriteMpvSettings();
  workspace_.LoadPlugin();
  const std::string reports = MpvPipeWrite({MpvPropertyChange(5, "volume", "62.000000"),
                                            MpvPropertyChange(6, "mute", "true")});
  // Once a volume key has been pressed: well after the identification, whose reads
  // take whatever the pipe holds.
  const OpenedView opened =
      workspace_.Open(lister_, MpvIdentifyScript(640, 480) + "await add volume 2\n" + reports + "mark reported\n");
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(SendMessageW(opened.View, WM_KEYDOWN, '0', 1), 0);
  ASSERT_TRUE(opened.Log.WaitForEvent("mark reported"));
  const LoadedNext next = workspace_.OpenNext(lister_, opened.View, MpvIdentifyScript(640, 480));
  ASSERT_EQ(next.Result, 0);
  EXPECT_TRUE(next.Log.CommandLine().ends_with(L"--osc=no --volume=62 --mute=yes -- C:\\videos\\next.avi"))
      << Utf8(next.Log.CommandLine());
  workspace_.Host().CloseWindow(opened.View);
}

class Mouse : public HostTest {
 protected:
  OpenedView OpenVideo(const std::vector<std::pair<std::wstring, std::wstring>>& extra = {}) {
    std::vector<std::pair<std::wstring, std::wstring>> keys = {{L"MPlayer_path", L"standin-player.exe"}};
    keys.insert(keys.end(), extra.begin(), extra.end());
    workspace_.InstallPlayer();
    workspace_.WriteSettings(keys);
    workspace_.LoadPlugin();
    return workspace_.Open(lister_, IdentifyScript(640, 480));
  }
  static LRESULT Wheel(HWND view, int delta) {
    return SendMessageW(view, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), MAKELPARAM(50, 50));
  }
  static LRESULT Click(HWND view, int x, int y) {
    return SendMessageW(view, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
  }
};

TEST_F(Mouse, WheelSetsTheVolumeAndAsksForTheLevel) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(Wheel(opened.View, WHEEL_DELTA), 0);
  EXPECT_EQ(Wheel(opened.View, -WHEEL_DELTA), 0);
  EXPECT_TRUE(opened.Log.WaitForInput("volume +1\n" + kAskSound + "volume -1\n" + kAskSound))
      << opened.Log.StandardInput();
  workspace_.Host().CloseWindow(opened.View);
}

TEST_F(Mouse, WheelSeeksWhenTheSettingsSaySo) {
  const OpenedView opened = OpenVideo({{L"Wheel", L"seek"}});
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(Wheel(opened.View, WHEEL_DELTA), 0);
  EXPECT_EQ(Wheel(opened.View, -2 * WHEEL_DELTA), 0);
  EXPECT_TRUE(opened.Log.WaitForInput("seek +10\nseek -10\n")) << opened.Log.StandardInput();
  workspace_.Host().CloseWindow(opened.View);
}

// A click pauses or plays at once; the second of a double click plays or pauses
// back and switches full screen; a click far from the last begins anew, and so
// does one after a double click. The player's own window's clicks come as the
// system's notice to its parent. The right button is Lister's.
TEST_F(Mouse, ClicksPauseAndADoubleClickSwitchesFullScreen) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);
  MessageRecorder lister(lister_);
  EXPECT_EQ(Click(opened.View, 10, 10), 0);
  EXPECT_EQ(Click(opened.View, 200, 150), 0);  // too far for a double click
  EXPECT_EQ(Click(opened.View, 201, 151), 0);  // the second of a double click
  EXPECT_EQ(Click(opened.View, 201, 151), 0);  // a click of its own again
  EXPECT_EQ(SendMessageW(opened.View, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(20, 20)), 0);
  EXPECT_EQ(SendMessageW(opened.View, WM_PARENTNOTIFY, MAKEWPARAM(WM_RBUTTONDOWN, 0), MAKELPARAM(30, 30)), 0);
  EXPECT_EQ(SendMessageW(opened.View, WM_PARENTNOTIFY, MAKEWPARAM(WM_LBUTTONDOWN, 0), MAKELPARAM(300, 30)), 0);
  EXPECT_EQ(SendMessageW(opened.View, WM_PARENTNOTIFY, MAKEWPARAM(WM_LBUTTONDOWN, 0), MAKELPARAM(300, 30)), 0);
  EXPECT_TRUE(opened.Log.WaitForInput("pause\npause\npause\nvo_fullscreen\npause\npause\npause\nvo_fullscreen\n"))
      << opened.Log.StandardInput();
  PumpMessages(20);
  EXPECT_EQ(lister.Count(WM_COMMAND), 0u);
  workspace_.Host().CloseWindow(opened.View);
}

TEST_F(Mouse, HashTypedTakesTheNextAudioTrackAndThreeAloneIsLeftToLister) {
  const OpenedView opened = OpenVideo();
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(SendMessageW(opened.View, WM_KEYDOWN, '3', 1), 0);
  EXPECT_EQ(SendMessageW(opened.View, WM_CHAR, '3', 1), 0);
  EXPECT_EQ(SendMessageW(opened.View, WM_CHAR, '#', 1), 0);
  EXPECT_TRUE(opened.Log.WaitForInput("switch_audio\n")) << opened.Log.StandardInput();
  workspace_.Host().CloseWindow(opened.View);
}

class AtEnd : public HostTest {
 protected:
  void UseSettings(const std::wstring& player, const std::vector<std::pair<std::wstring, std::wstring>>& extra) {
    std::vector<std::pair<std::wstring, std::wstring>> keys = {{L"MPlayer_path", player}};
    keys.insert(keys.end(), extra.begin(), extra.end());
    workspace_.InstallPlayer(player);
    workspace_.WriteSettings(keys);
    workspace_.LoadPlugin();
  }
};

TEST_F(AtEnd, NextAsksListerForTheNextFileOnceWhenThePlayerReportsTheEnd) {
  UseSettings(L"standin-player.exe", {{L"At_end", L"next"}});
  MessageRecorder lister(lister_);
  const OpenedView opened = workspace_.Open(
      lister_, IdentifyScript(640, 480) + "await pause\nwrite ID_EXIT=EOF\\n\nwrite ID_EXIT=EOF\\n\n");
  ASSERT_NE(opened.View, nullptr);
  PumpMessages(50);
  EXPECT_EQ(lister.Count(WM_COMMAND), 0u) << "not before the end";
  EXPECT_EQ(SendMessageW(opened.View, WM_KEYDOWN, VK_SPACE, 1), 0);
  EXPECT_TRUE(WaitUntil([&] { return lister.Count(WM_COMMAND, kNextFileCommand) > 0; }));
  PumpMessages(100);
  EXPECT_EQ(lister.Count(WM_COMMAND), 1u);
  workspace_.Host().CloseWindow(opened.View);
}

TEST_F(AtEnd, StopLeavesListerAloneAtTheEnd) {
  UseSettings(L"standin-player.exe", {});
  MessageRecorder lister(lister_);
  const OpenedView opened =
      workspace_.Open(lister_, IdentifyScript(640, 480) + "await pause\nwrite ID_EXIT=EOF\\n\nmark ended\n");
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(SendMessageW(opened.View, WM_KEYDOWN, VK_SPACE, 1), 0);
  EXPECT_TRUE(opened.Log.WaitForEvent("mark ended"));
  PumpMessages(200);
  EXPECT_EQ(lister.Count(WM_COMMAND), 0u);
  workspace_.Host().CloseWindow(opened.View);
}

TEST_F(AtEnd, MpvsEndOfFileAsksForTheNextFile) {
  UseSettings(L"mpv.exe", {{L"At_end", L"next"}});
  MessageRecorder lister(lister_);
  const OpenedView opened = workspace_.Open(
      lister_, MpvIdentifyScript(640, 480) + MpvPipeWrite({MpvPropertyChange(7, "eof-reached", "false")}) +
                   "sleep 100\n" + MpvPipeWrite({MpvPropertyChange(7, "eof-reached", "true")}));
  ASSERT_NE(opened.View, nullptr);
  EXPECT_TRUE(WaitUntil([&] { return lister.Count(WM_COMMAND, kNextFileCommand) > 0; }));
  workspace_.Host().CloseWindow(opened.View);
}

TEST_F(AtEnd, LoopStartsLoopingAndStartPausedHoldsTheFirstFrame) {
  UseSettings(L"standin-player.exe", {{L"At_end", L"loop"}, {L"Start_paused", L"1"}});
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  EXPECT_TRUE(opened.Log.CommandLine().ends_with(Tail(opened.View, L" -loop 0", L"C:\\videos\\clip.avi")));
  EXPECT_EQ(SendMessageW(opened.View, WM_KEYDOWN, 'H', 1), 0);  // looping already: H ends it
  EXPECT_TRUE(opened.Log.WaitForInput("pausing seek 0 2\nloop -1\n")) << opened.Log.StandardInput();
  workspace_.Host().CloseWindow(opened.View);

  workspace_.InstallPlayer(L"mpv.exe");
  workspace_.WriteSettings({{L"MPlayer_path", L"mpv.exe"}, {L"At_end", L"loop"}, {L"Start_paused", L"1"}});
  const OpenedView mpv = workspace_.Open(lister_, MpvIdentifyScript(640, 480));
  ASSERT_NE(mpv.View, nullptr);
  EXPECT_TRUE(mpv.Log.CommandLine().ends_with(L"--osc=no --loop-file=inf --pause=yes -- C:\\videos\\clip.avi"))
      << Utf8(mpv.Log.CommandLine());
  workspace_.Host().CloseWindow(mpv.View);
}
