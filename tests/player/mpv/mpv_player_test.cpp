// mpv as the player, through the exports: the stand-in, installed as mpv.exe,
// serves the control pipe named on its command line as mpv does. Its command
// line, the identification through the pipe, each key's command there, the close,
// an mpv without a control pipe, and an mpv that floods its pipe or never reads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "host_test.h"
#include "identify_checks.h"
#include "mpv_dialect.h"
#include "player_process.h"
#include "watched_player.h"
#include "window_messages.h"

namespace {

constexpr double kSlackMs = 3000.0;
constexpr double kBeforeTheBoundMs = kIdentifyBoundMs - 50.0;
constexpr double kBoundWithSlackMs = kIdentifyBoundMs + kSlackMs;
constexpr double kCloseBoundMs = kQuitGraceMs + kCommandWriteBoundMs + kSlackMs;

const std::string kRequests(MpvIdentification::Requests());

std::wstring Unsigned32(HWND window) {
  return std::to_wstring(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(window)));
}

}  // namespace

class MpvPlayer : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    workspace_.WriteMpvSettings(L"normal");
    host_ = &workspace_.LoadPlugin();
    unplaced_ = OuterSizeOf(lister_);
  }

  OpenedView OpenTimed(const std::string& script, const std::string& what, double& took, HWND lister = nullptr) {
    const Stopwatch stopwatch;
    OpenedView opened = workspace_.Open(lister != nullptr ? lister : lister_, script);
    took = stopwatch.Milliseconds();
    ReportOpenTime("mpv, " + what, took);
    return opened;
  }

  void ExpectNullAndNothingLeft(const OpenedView& opened, const std::string& what) {
    EXPECT_EQ(opened.View, nullptr) << what;
    EXPECT_EQ(GetWindow(lister_, GW_CHILD), nullptr) << what << ": the view window is destroyed";
    EXPECT_EQ(OuterSizeOf(lister_), unplaced_) << what;
    EXPECT_TRUE(WaitUntil([&] { return PlayerEnded(opened.Log); })) << what << ": no player outlives ListLoadW";
  }

  void CloseWithin(const OpenedView& opened, const std::string& what) {
    const WatchedPlayer player(opened.View);
    const Stopwatch stopwatch;
    host_->CloseWindow(opened.View);
    const double took = stopwatch.Milliseconds();
    std::printf("ListCloseWindow, mpv, %s: %.1f ms\n", what.c_str(), took);
    EXPECT_LT(took, kCloseBoundMs) << what;
    EXPECT_FALSE(IsWindow(opened.View));
    EXPECT_TRUE(player.Ended(3000)) << what << ": the player outlived the close";
  }

  PluginHost* host_ = nullptr;
  OuterSize unplaced_;
};

TEST_F(MpvPlayer, CommandLineNamesItsOwnControlPipeAndTheViewAndItsInputIsEmpty) {
  HWND embeddedLister = CreateEmbeddedListerWindow();
  const std::wstring prefix =
      JoinPath(workspace_.Folder(), L"mpv.exe") + L" --input-ipc-server=\\\\.\\pipe\\reelpane-";
  std::wstring firstPipe;
  for (HWND lister : {lister_, embeddedLister}) {
    const OpenedView opened = workspace_.Open(lister, MpvIdentifyScript(640, 480));
    ASSERT_NE(opened.View, nullptr);
    const std::wstring line = opened.Log.CommandLine();
    const std::wstring suffix = L" --wid=" + Unsigned32(opened.View) +
                                L" --input-default-bindings=no --input-vo-keyboard=no --input-cursor=no --osc=no"
                                L" -- C:\\videos\\clip.avi";
    EXPECT_TRUE(line.starts_with(prefix) && line.ends_with(suffix)) << Utf8(line);
    const std::wstring pipe = line.substr(prefix.size(), line.size() - std::min(line.size(), suffix.size() + prefix.size()));
    EXPECT_EQ(pipe.find(L' '), std::wstring::npos) << Utf8(pipe);
    EXPECT_NE(pipe, firstPipe) << "every view's pipe has a name of its own";
    firstPipe = pipe;
    EXPECT_TRUE(opened.Log.HasEvent("pipe-connected"));
    // Its standard input is the NUL device: it ends at once and brings nothing.
    EXPECT_TRUE(opened.Log.WaitForEvent("stdin-ended"));
    host_->CloseWindow(opened.View);
    EXPECT_EQ(opened.Log.StandardInput(), "");
  }
  DestroyListerWindow(embeddedLister);
}

TEST_F(MpvPlayer, ThePlayerSettingChoosesTheDialectWhateverTheProgramIsCalled) {
  workspace_.InstallPlayer();
  workspace_.WriteSettings({{L"MPlayer_path", L"standin-player.exe"}, {L"Player", L"mpv"},
                            {L"MPlayer_params", L"\" --hwdec=no\""}});
  const OpenedView mpv = workspace_.Open(lister_, MpvIdentifyScript(640, 480));
  ASSERT_NE(mpv.View, nullptr);
  EXPECT_TRUE(mpv.Log.CommandLine().starts_with(JoinPath(workspace_.Folder(), L"standin-player.exe") +
                                                L" --hwdec=no --input-ipc-server="))
      << Utf8(mpv.Log.CommandLine());
  host_->CloseWindow(mpv.View);

  workspace_.WriteSettings({{L"MPlayer_path", L"mpv.exe"}, {L"Player", L"mplayer"}});
  const OpenedView mplayer = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(mplayer.View, nullptr);
  EXPECT_TRUE(mplayer.Log.CommandLine().starts_with(JoinPath(workspace_.Folder(), L"mpv.exe") +
                                                    L" -quiet -slave -identify -keepaspect -wid "));
  host_->CloseWindow(mplayer.View);
}

// Identification: a size places the Lister; a file without video keeps its view
// unplaced; a file mpv cannot play gives null; nothing within the bound keeps the view.

TEST_F(MpvPlayer, VideoSizePlacesTheLister) {
  double took = 0;
  const OpenedView opened = OpenTimed(MpvIdentifyScript(640, 480), "640x480", took);
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(640, 480));
  EXPECT_LT(took, kBeforeTheBoundMs) << "nothing more is waited for";
  EXPECT_EQ(GetFocus(), opened.View);
  host_->CloseWindow(opened.View);
}

TEST_F(MpvPlayer, FileWithoutVideoKeepsItsViewUnplacedAndReturnsAtOnce) {
  double took = 0;
  const OpenedView opened = OpenTimed(
      MpvPipeWrite({MpvPropertyChange(1, "dwidth", ""), MpvPropertyChange(3, "vid", "false")}), "audio", took);
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(OuterSizeOf(lister_), unplaced_);
  EXPECT_LT(took, kBeforeTheBoundMs);
  host_->CloseWindow(opened.View);
}

TEST_F(MpvPlayer, FileMpvCannotPlayGivesNullAndLeavesNothing) {
  const std::pair<std::string, std::string> cases[] = {
      {"an error ends the file",
       MpvPipeWrite({R"({"event":"end-file","reason":"error","playlist_entry_id":1})"}) + "exit 2\n"},
      {"exit code 2 before the pipe", "no-pipe\nexit 2\n"},
      {"gone idle (idle=yes)", MpvPipeWrite({MpvPropertyChange(4, "idle-active", "true")})},
  };
  for (const auto& [what, script] : cases) {
    double took = 0;
    const OpenedView opened = OpenTimed(script, what, took);
    ExpectNullAndNothingLeft(opened, what);
    EXPECT_LT(took, kBeforeTheBoundMs) << what;
  }
}

TEST_F(MpvPlayer, NothingWithinTheBoundKeepsTheViewUnplaced) {
  double took = 0;
  const OpenedView opened = OpenTimed(MpvPipeWrite({MpvPropertyChange(3, "vid", "1")}), "silent", took);
  ASSERT_NE(opened.View, nullptr);
  EXPECT_GE(took, kBeforeTheBoundMs);
  EXPECT_LT(took, kBoundWithSlackMs);
  EXPECT_EQ(OuterSizeOf(lister_), unplaced_);
  CloseWithin(opened, "silent");
}

// mpv makes its video window, a child of our view, before it serves its pipe: the
// wait for the pipe answers the messages that this sends the host's thread.
TEST_F(MpvPlayer, WindowMadeBeforeThePipeDoesNotStallTheConnection) {
  double took = 0;
  const OpenedView opened =
      OpenTimed("child-window\nserve-pipe\n" + MpvIdentifyScript(640, 480), "window before its pipe", took);
  ASSERT_NE(opened.View, nullptr);
  EXPECT_TRUE(opened.Log.HasEvent("child-window"));
  EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(640, 480));
  EXPECT_LT(took, kBeforeTheBoundMs);
  host_->CloseWindow(opened.View);
}

// The host closes the Lister while the plugin waits for mpv's pipe: no view, and
// mpv is stopped as a close stops it, by "quit" on the pipe it serves after all.
TEST_F(MpvPlayer, ListerClosedWhileThePluginWaitsForThePipeEndsMpv) {
  OpenedView opened{nullptr, PlayerLog(L"")};
  {
    SentHostCode closeLister(600, [this] { DestroyWindow(lister_); });
    opened = workspace_.Open(lister_, "sleep 1500\nserve-pipe\n" + MpvIdentifyScript(640, 480));
    ASSERT_TRUE(closeLister.Ran()) << "the Lister was to be closed while the plugin waited for the pipe";
    lister_ = nullptr;
  }
  EXPECT_EQ(opened.View, nullptr);
  EXPECT_TRUE(WaitUntil([&] { return PlayerEnded(opened.Log); }, std::chrono::milliseconds(kQuitGraceMs)));
  EXPECT_TRUE(opened.Log.HasEvent("command quit"));
}

// An mpv that ends at once (too old to know the option, or given one it doesn't
// know) or never serves its pipe: a clear message the first time only, null, and
// no player left.
TEST_F(MpvPlayer, WithoutAControlPipeWarnsOnceAndLeavesNothingRunning) {
  double took = 0;
  const OpenedView ended = OpenTimed("no-pipe\nexit 1\n", "no pipe, exits", took);
  ExpectNullAndNothingLeft(ended, "no pipe, exits");
  const auto box = boxes_.Take();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->first, L"reelpane");
  EXPECT_TRUE(box->second.starts_with(L"mpv did not open its control pipe: " +
                                      JoinPath(workspace_.Folder(), L"mpv.exe") + L"\n"))
      << Utf8(box->second);
  EXPECT_NE(box->second.find(L"0.17"), std::wstring::npos) << "the version needed";

  const OpenedView stays = OpenTimed("no-pipe\n", "no pipe, stays", took);
  EXPECT_GE(took, kBeforeTheBoundMs);
  EXPECT_LT(took, kBoundWithSlackMs);
  ExpectNullAndNothingLeft(stays, "no pipe, stays");
  EXPECT_FALSE(boxes_.Take().has_value()) << "the message comes once";
}

// Keys: each one's command on the control pipe, nothing on standard input; Q then
// asks the Lister window to close.
TEST_F(MpvPlayer, EveryKeySendsItsMpvCommandOnTheControlPipe) {
  const OpenedView opened = workspace_.Open(lister_, MpvIdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  MessageRecorder lister(lister_);
  const std::pair<WPARAM, const char*> keys[] = {
      {VK_SPACE, "cycle pause"},         {VK_LEFT, "seek -10"},          {VK_UP, "seek +60"},
      {VK_RIGHT, "seek +10"},            {VK_DOWN, "seek -60"},          {'0', "add volume 2"},
      {'9', "add volume -2"},            {'H', "set loop-file inf"},     {'I', "show-progress"},
      {'M', "set mute yes"},             {VK_MULTIPLY, "add volume 2"},  {VK_DIVIDE, "add volume -2"},
      {VK_OEM_1, "add brightness -1"},   {VK_OEM_7, "add brightness 1"}, {'Q', "quit"}};
  std::string expected = kRequests;
  for (const auto& [key, command] : keys) {
    EXPECT_EQ(SendMessageW(opened.View, WM_KEYDOWN, key, 1), 0);
    expected += std::string(command) + "\n";
  }
  EXPECT_TRUE(opened.Log.WaitForControlPipeInput(expected)) << opened.Log.ControlPipeInput();
  PumpMessages(20);
  EXPECT_EQ(lister.Count(WM_CLOSE), 1u) << "Q asks the Lister window to close";
  EXPECT_TRUE(opened.Log.WaitForEvent("exit"));
  host_->CloseWindow(opened.View);
  EXPECT_EQ(opened.Log.StandardInput(), "");
}

TEST_F(MpvPlayer, LoopAndMuteToggleFromOff) {
  const OpenedView opened = workspace_.Open(lister_, MpvIdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  for (WPARAM key : {'H', 'H', 'H', 'M', 'M'}) SendMessageW(opened.View, WM_KEYDOWN, key, 1);
  EXPECT_TRUE(opened.Log.WaitForControlPipeInput(kRequests +
                                                 "set loop-file inf\nset loop-file no\nset loop-file inf\n"
                                                 "set mute yes\nset mute no\n"))
      << opened.Log.ControlPipeInput();
  host_->CloseWindow(opened.View);
}

// The close: "quit" on the control pipe, up to the grace, then termination.

TEST_F(MpvPlayer, CloseAsksMpvToQuitOnItsControlPipe) {
  const OpenedView opened = workspace_.Open(lister_, MpvIdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  const WatchedPlayer player(opened.View);
  const Stopwatch stopwatch;
  host_->CloseWindow(opened.View);
  EXPECT_LT(stopwatch.Milliseconds(), 900.0) << "the close waits only until mpv has gone";
  EXPECT_TRUE(player.Ended(5000));
  EXPECT_EQ(player.ExitCode(), 0u) << "mpv ended by itself";
  EXPECT_EQ(opened.Log.ControlPipeInput(), kRequests + "quit\n");
}

TEST_F(MpvPlayer, MpvThatIgnoresQuitIsTerminatedAfterTheGrace) {
  const OpenedView opened = workspace_.Open(lister_, "ignore-quit\n" + MpvIdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  const WatchedPlayer player(opened.View);
  const Stopwatch stopwatch;
  host_->CloseWindow(opened.View);
  const double took = stopwatch.Milliseconds();
  EXPECT_GE(took, kQuitGraceMs - 50.0);
  EXPECT_LT(took, kCloseBoundMs);
  EXPECT_TRUE(player.Ended(5000));
  EXPECT_EQ(player.ExitCode(), 0xFFFFFFFFu);
  EXPECT_TRUE(opened.Log.HasEvent("command quit"));
}

// mpv writes its events to every client and stops when one does not read them:
// the view reads its control pipe all along, so a flood of events never holds
// mpv, and keys pressed meanwhile reach it in order. The reading has ended when
// the close returns: the host may unload the plugin file right after.
TEST_F(MpvPlayer, FloodOfEventsIsReadForTheWholeLifeOfTheView) {
  const std::string event = MpvPropertyChange(5, "time-pos", "12.345678") + "\\n";
  const OpenedView opened = workspace_.Open(lister_, MpvIdentifyScript(640, 480) + "mark flooding\npipe repeat 3000 1 " +
                                                         event + "\nmark flooded\npipe flood 2000000000\n");
  ASSERT_NE(opened.View, nullptr);
  ASSERT_TRUE(opened.Log.WaitForEvent("mark flooding"));
  std::string expected = kRequests;
  for (const auto& [key, command] : {std::pair<WPARAM, const char*>{VK_SPACE, "cycle pause"},
                                     {VK_RIGHT, "seek +10"}, {'H', "set loop-file inf"}, {'I', "show-progress"}}) {
    SendMessageW(opened.View, WM_KEYDOWN, key, 1);
    expected += std::string(command) + "\n";
    PumpMessages(100);
  }
  EXPECT_FALSE(opened.Log.HasEvent("mark flooded")) << "the keys were to come during the flood";
  EXPECT_TRUE(opened.Log.WaitForEvent("mark flooded", std::chrono::seconds(30)))
      << "mpv was held by its own events";
  EXPECT_TRUE(opened.Log.WaitForControlPipeInput(expected)) << opened.Log.ControlPipeInput();
  CloseWithin(opened, "flooding without end");
  host_->Unload();
  PumpMessages(300);  // a read of the plugin's still coming back would now crash the host
}

// An mpv that never reads its control pipe: once the pipe is full, every key
// gives up after the write bound, and the close still ends within the grace, the
// write bound of its "quit" and the termination.
TEST_F(MpvPlayer, PipeThatIsNeverReadHoldsNoKeyAndNoCloseBeyondTheBounds) {
  const OpenedView opened = workspace_.Open(lister_, "pipe stop-reading\n" + MpvIdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  int pressed = 0;
  for (bool held = false; !held && pressed < 2000; ++pressed) {
    const Stopwatch stopwatch;
    SendMessageW(opened.View, WM_KEYDOWN, VK_OEM_1, 1);  // "add brightness -1\n"
    const double took = stopwatch.Milliseconds();
    EXPECT_LT(took, kCommandWriteBoundMs + kSlackMs) << "press " << pressed;
    held = took >= kCommandWriteBoundMs * 0.8;
  }
  EXPECT_LT(pressed, 2000) << "the control pipe never filled";
  std::printf("mpv that never reads: the pipe was full after %d keys\n", pressed);
  CloseWithin(opened, "control pipe full");
}
