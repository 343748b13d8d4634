// Players as package managers install them: a launcher (Scoop's or Chocolatey's
// shim, mpv's own mpv.com) that starts the real player as its child, hands on its
// standard handles, waits and passes the exit code on. The stand-in launcher
// (tools/standin_launcher) starts the stand-in player so. Through it each player
// is identified, takes keys, loads the next file and quits; ended, the whole job
// goes; and a control pipe served by anything outside the player's job is refused.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "control_pipe_server.h"
#include "host_test.h"
#include "identify_checks.h"
#include "mpv_dialect.h"
#include "player_process.h"
#include "watched_player.h"
#include "window_messages.h"

namespace {

const std::string kRequests(MpvIdentification::Requests());

}  // namespace

class Launcher : public HostTest {
 protected:
  // The stand-in installed as |player| and the launcher as |launcher|, which the settings name.
  PluginHost& LoadBehindALauncher(const std::wstring& launcher, const std::wstring& player) {
    workspace_.MakeFolder(L"player");
    workspace_.MakeFolder(L"shims");
    workspace_.InstallLauncher(launcher, workspace_.InstallPlayer(player));
    workspace_.WriteSettings({{L"MPlayer_path", launcher}, {L"View_Size", L"normal"}});
    return workspace_.LoadPlugin();
  }

  // |call| (a load), timed. In the emulated lane a program takes seconds to start,
  // and the launcher's child starts only after the launcher: there the two may
  // outlast the plugin's own identification bound, which then answers as it must
  // (no control pipe, no size); what the load left is cleared and the test skipped.
  template <typename Call>
  auto Load(Call call) {
    const Stopwatch stopwatch;
    auto loaded = call();
    if (TimeScale() > 1 && stopwatch.Milliseconds() >= kIdentifyBoundMs) {
      boxes_.Take();
      [] { GTEST_SKIP() << "the launcher's and the player's starts took longer than the bound here"; }();
    }
    return loaded;
  }
};

// mpv.com beside mpv.exe, as mpv ships, and a package manager's shim named
// mpv.exe in a folder of shims: the launcher is started, its child serves the
// control pipe and is driven as mpv itself.
TEST_F(Launcher, MpvBehindItIsIdentifiedTakesKeysLoadsTheNextFileAndQuits) {
  for (const wchar_t* launcherName : {L"player\\mpv.com", L"shims\\mpv.exe"}) {
    SCOPED_TRACE(Utf8(launcherName));
    PluginHost& host = LoadBehindALauncher(launcherName, L"player\\mpv.exe");
    const OpenedView opened = Load([&] { return workspace_.Open(lister_, MpvIdentifyScript(640, 480)); });
    if (IsSkipped()) return host.CloseWindow(opened.View);
    ASSERT_NE(opened.View, nullptr) << "the launcher's child serves the pipe";
    EXPECT_FALSE(boxes_.Take().has_value());
    EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(640, 480));
    const WatchedPlayer launcher(opened.View);
    ASSERT_NE(launcher.ProcessId(), opened.Log.ProcessId()) << "the plugin started the launcher, not mpv";
    EXPECT_TRUE(opened.Log.CommandLine().ends_with(L" -- C:\\videos\\clip.avi")) << Utf8(opened.Log.CommandLine());

    SendMessageW(opened.View, WM_KEYDOWN, VK_SPACE, 1);
    EXPECT_TRUE(opened.Log.WaitForControlPipeInput(kRequests + "cycle pause\n")) << opened.Log.ControlPipeInput();

    const LoadedNext next =
        Load([&] { return workspace_.OpenNext(lister_, opened.View, MpvIdentifyScript(320, 240)); });
    if (IsSkipped()) return host.CloseWindow(opened.View);
    EXPECT_EQ(next.Result, 0);
    EXPECT_TRUE(launcher.Ended(0)) << "the old launcher is gone when the switch returns";
    EXPECT_EQ(launcher.ExitCode(), 0u) << "mpv quit when asked, and its launcher passed that on";
    EXPECT_TRUE(PlayerEnded(opened.Log));
    EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(320, 240));

    const WatchedPlayer nextLauncher(opened.View);
    host.CloseWindow(opened.View);
    EXPECT_EQ(next.Log.ControlPipeInput(), kRequests + "quit\n");
    EXPECT_TRUE(nextLauncher.Ended(0));
    EXPECT_EQ(nextLauncher.ExitCode(), 0u);
    EXPECT_TRUE(WaitUntil([&] { return PlayerEnded(next.Log); }));
  }
}

// MPlayer behind a launcher: its standard input and output are the launcher's,
// handed on, so the identification, the commands and the quit pass through.
TEST_F(Launcher, MPlayerBehindItIsIdentifiedTakesKeysAndQuits) {
  PluginHost& host = LoadBehindALauncher(L"player\\mplayer.exe", L"player\\mplayer-real.exe");
  const OpenedView opened = Load([&] { return workspace_.Open(lister_, IdentifyScript(640, 480)); });
  if (IsSkipped()) return host.CloseWindow(opened.View);
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(640, 480));
  const WatchedPlayer launcher(opened.View);
  ASSERT_NE(launcher.ProcessId(), opened.Log.ProcessId());
  SendMessageW(opened.View, WM_KEYDOWN, VK_RIGHT, 1);
  EXPECT_TRUE(opened.Log.WaitForInput("seek +10\n")) << opened.Log.StandardInput();
  host.CloseWindow(opened.View);
  EXPECT_EQ(opened.Log.StandardInput(), "seek +10\nquit\n");
  EXPECT_TRUE(launcher.Ended(0));
  EXPECT_EQ(launcher.ExitCode(), 0u);
  EXPECT_TRUE(WaitUntil([&] { return PlayerEnded(opened.Log); }));
}

// A player that ignores "quit" behind its launcher: after the grace the whole
// job is ended, the child with the launcher, before the close returns.
TEST_F(Launcher, PlayerThatIgnoresQuitEndsWithItsLauncherAfterTheGrace) {
  for (const bool mpv : {true, false}) {
    SCOPED_TRACE(mpv ? "mpv" : "MPlayer");
    PluginHost& host = mpv ? LoadBehindALauncher(L"player\\mpv.com", L"player\\mpv.exe")
                           : LoadBehindALauncher(L"player\\mplayer.exe", L"player\\mplayer-real.exe");
    const std::string script = "ignore-quit\n" + (mpv ? MpvIdentifyScript(640, 480) : IdentifyScript(640, 480));
    const OpenedView opened = Load([&] { return workspace_.Open(lister_, script); });
    if (IsSkipped()) return host.CloseWindow(opened.View);
    ASSERT_NE(opened.View, nullptr);
    const WatchedPlayer launcher(opened.View);
    const DWORD child = opened.Log.ProcessId();
    HANDLE childProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, child);
    host.CloseWindow(opened.View);
    EXPECT_TRUE(opened.Log.HasEvent("command quit"));
    EXPECT_TRUE(launcher.Ended(0));
    DWORD code = 0;
    EXPECT_EQ(WaitForSingleObject(childProcess, kQuitGraceMs), WAIT_OBJECT_0)
        << "the launcher's child is ended with it";
    EXPECT_TRUE(GetExitCodeProcess(childProcess, &code) && code == 0xFFFFFFFFu) << code;
    CloseHandle(childProcess);
  }
}

// Anyone may serve a pipe of any name: one served by a process outside the
// player's job (here the host's own) is not taken for the player's.
TEST_F(Launcher, PipeServedOutsideThePlayersJobIsRefused) {
  LoadBehindALauncher(L"player\\mpv.com", L"player\\mpv.exe");
  std::unique_ptr<ControlPipeServer> impostor;
  // The player serves nothing and waits; the host serves the pipe its command line names.
  const PlayerLog log(JoinPath(workspace_.Folder(), L"player-1"));  // the first player's
  SentHostCode serve([&] { return !log.CommandLine().empty(); }, [&] {
    const std::wstring line = log.CommandLine();
    const size_t option = line.find(L"--input-ipc-server=");
    if (option == std::wstring::npos) return;
    const size_t name = option + 19;
    impostor = std::make_unique<ControlPipeServer>(line.substr(name, line.find(L' ', name) - name));
  });
  const OpenedView opened = Load([&] { return workspace_.Open(lister_, "no-pipe\nsleep 600000\n"); });
  if (IsSkipped()) return;
  ASSERT_TRUE(serve.Ran());
  ASSERT_TRUE(impostor != nullptr && impostor->Served());
  EXPECT_EQ(opened.View, nullptr);
  const auto box = boxes_.Take();
  ASSERT_TRUE(box.has_value());
  EXPECT_TRUE(box->second.starts_with(L"mpv did not open its control pipe: ")) << Utf8(box->second);
  EXPECT_TRUE(WaitUntil([&] { return PlayerEnded(opened.Log); }));
}
