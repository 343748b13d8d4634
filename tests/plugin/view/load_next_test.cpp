// The next file in an open view (ListLoadNextW): the view stays, its player is
// swapped; a file that can't be shown leaves a valid, empty view; anything that
// is not a view of ours is refused untouched.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "host_resources.h"
#include "host_test.h"
#include "identify_checks.h"
#include "mpv_dialect.h"
#include "watched_player.h"
#include "window_messages.h"

namespace {

constexpr int kShown = 0;    // LISTPLUGIN_OK
constexpr int kRefused = 1;  // LISTPLUGIN_ERROR

void Press(HWND view, WPARAM key) { SendMessageW(view, WM_KEYDOWN, key, 1); }

bool HoldsRecord(HWND view) { return GetWindowLongPtrW(view, GWLP_USERDATA) != 0; }

double MillisecondsSince(long long from, long long to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * static_cast<double>(to - from) / static_cast<double>(frequency.QuadPart);
}

// A player that cannot play its file: it says so and ends, as the real one does.
const std::string kRejectingPlayer = "write ID_EXIT=EOF\\n\nexit 1\n";

}  // namespace

using LoadNext = HostTest;

TEST_F(LoadNext, TenFilesInARowThroughOneView) {
  LoadWithDefaultSettings(L"normal");
  struct File {
    int Width, Height;
  };
  const File files[] = {{640, 480}, {320, 240}, {720, 576}, {480, 360}, {800, 450},
                        {352, 288}, {640, 360}, {400, 300}, {560, 420}, {704, 396}};
  auto name = [](size_t i) { return L"C:\\videos\\clip " + std::to_wstring(i + 1) + L".mkv"; };

  OpenedView opened = workspace_.Open(lister_, IdentifyScript(files[0].Width, files[0].Height), name(0));
  ASSERT_NE(opened.View, nullptr);
  const HWND view = opened.View;
  PlayerLog log = opened.Log;
  auto player = std::make_unique<WatchedPlayer>(view);
  const long long firstStart = log.EventStamp("start").value_or(0);
  std::printf("view %s in Lister %s\n", Utf8(HandleText(view)).c_str(), Utf8(HandleText(lister_)).c_str());
  std::printf("file  1 (ListLoadW): player %lu started at %8.1f ms in view %s; Lister %ld x %ld for %d x %d\n",
              static_cast<unsigned long>(player->ProcessId()), 0.0, Utf8(HandleText(view)).c_str(),
              OuterSizeOf(lister_).first, OuterSizeOf(lister_).second, files[0].Width, files[0].Height);

  for (size_t i = 0;; ++i) {
    SCOPED_TRACE("file " + std::to_string(i + 1));
    // What this file's player was given, and where the Lister went for it.
    const std::wstring commandLine = log.CommandLine();
    EXPECT_TRUE(commandLine.ends_with(L" -keepaspect -wid " + HandleText(view) + L" -colorkey 0x101010 \"" + name(i) + L"\""))
        << Utf8(commandLine);
    EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(files[i].Width, files[i].Height));
    EXPECT_EQ(GetWindow(lister_, GW_CHILD), view);
    EXPECT_EQ(GetWindow(view, GW_HWNDNEXT), nullptr) << "the only view in the Lister";
    EXPECT_EQ(GetFocus(), view);
    // Looping starts afresh for every file; muting carries over (the player of a
    // file after a muted one is muted at its start), so each M undoes the last's.
    const std::string pressed = i % 2 == 0 ? "loop 1\nmute 1\n" : "mute 1\nloop 1\nmute 0\n";
    Press(view, 'H');
    Press(view, 'M');
    EXPECT_TRUE(log.WaitForInput(pressed)) << log.StandardInput();
    if (i + 1 == std::size(files)) break;

    const LoadedNext next =
        workspace_.OpenNext(lister_, view, IdentifyScript(files[i + 1].Width, files[i + 1].Height), name(i + 1));
    ASSERT_EQ(next.Result, kShown);
    auto nextPlayer = std::make_unique<WatchedPlayer>(view);
    ASSERT_TRUE(nextPlayer->Watching());
    EXPECT_TRUE(player->Ended(0)) << "the old player is gone when the switch returns";
    EXPECT_EQ(player->ExitCode(), 0u) << "it quit when asked";
    EXPECT_EQ(log.StandardInput(), pressed + "quit\n");
    const long long exited = log.EventStamp("exit").value_or(0);
    const long long started = next.Log.EventStamp("start").value_or(0);
    EXPECT_LT(exited, started) << "the old player's exit is logged before the new one's start";
    EXPECT_NE(player->ExitTime(), 0u);
    EXPECT_LE(player->ExitTime(), nextPlayer->CreationTime()) << "the old process ended before the new one was made";
    EXPECT_TRUE(IsWindow(view));
    std::printf("file %2zu: player %lu exited at %8.1f ms; file %2zu: player %lu started at %8.1f ms in view %s; "
                "Lister %ld x %ld for %d x %d\n",
                i + 1, static_cast<unsigned long>(player->ProcessId()), MillisecondsSince(firstStart, exited), i + 2,
                static_cast<unsigned long>(nextPlayer->ProcessId()), MillisecondsSince(firstStart, started),
                Utf8(HandleText(view)).c_str(), OuterSizeOf(lister_).first, OuterSizeOf(lister_).second,
                files[i + 1].Width, files[i + 1].Height);
    log = next.Log;
    player = std::move(nextPlayer);
  }

  workspace_.Host().CloseWindow(view);
  EXPECT_TRUE(player->Ended(0));
  EXPECT_FALSE(IsWindow(view));
}

// The switch with mpv: the old mpv is asked to quit on its control pipe, the new
// one gets a pipe of its own and is identified there, in the same view window.
TEST_F(LoadNext, MpvQuitsOnItsPipeAndTheNextMpvIsIdentifiedInTheSameView) {
  workspace_.WriteMpvSettings(L"normal");
  workspace_.LoadPlugin();
  const std::string requests(MpvIdentification::Requests());
  const OpenedView opened = workspace_.Open(lister_, MpvIdentifyScript(640, 480), L"C:\\videos\\first.mkv");
  ASSERT_NE(opened.View, nullptr);
  const WatchedPlayer first(opened.View);
  Press(opened.View, 'H');

  const LoadedNext next =
      workspace_.OpenNext(lister_, opened.View, MpvIdentifyScript(320, 240), L"C:\\videos\\next.mkv");
  ASSERT_EQ(next.Result, kShown);
  EXPECT_TRUE(first.Ended(0)) << "the old mpv is gone when the switch returns";
  EXPECT_EQ(first.ExitCode(), 0u) << "it quit when asked";
  EXPECT_EQ(opened.Log.ControlPipeInput(), requests + "set loop-file inf\nquit\n");
  EXPECT_EQ(GetWindow(lister_, GW_CHILD), opened.View);
  EXPECT_EQ(GetWindow(opened.View, GW_HWNDNEXT), nullptr) << "the only view in the Lister";
  const std::wstring view = std::to_wstring(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(opened.View)));
  const std::wstring line = next.Log.CommandLine();
  EXPECT_NE(line.find(L" --wid=" + view + L" "), std::wstring::npos) << Utf8(line);
  EXPECT_TRUE(line.ends_with(L" -- C:\\videos\\next.mkv")) << Utf8(line);
  const std::wstring pipeOption = L"--input-ipc-server=";
  const auto pipeOf = [&](const std::wstring& text) {
    const size_t at = text.find(pipeOption);
    return at == std::wstring::npos ? std::wstring() : text.substr(at, text.find(L' ', at) - at);
  };
  EXPECT_NE(pipeOf(line), pipeOf(opened.Log.CommandLine())) << "a pipe of its own";
  EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(320, 240)) << "identified through its own pipe";
  EXPECT_EQ(GetFocus(), opened.View);

  // The toggles start afresh, and the keys reach the new mpv.
  Press(opened.View, 'H');
  EXPECT_TRUE(next.Log.WaitForControlPipeInput(requests + "set loop-file inf\n")) << next.Log.ControlPipeInput();
  const WatchedPlayer second(opened.View);
  workspace_.Host().CloseWindow(opened.View);
  EXPECT_TRUE(second.Ended(0));
  EXPECT_EQ(next.Log.ControlPipeInput(), requests + "set loop-file inf\nquit\n");
}

TEST_F(LoadNext, QuickViewPanelKeepsItsPlaceAndEmbedsTheNextPlayer) {
  LoadWithDefaultSettings(L"normal");
  HWND panel = CreateEmbeddedListerWindow();
  const OpenedView opened = workspace_.Open(panel, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  MessageRecorder moves(panel);

  const LoadedNext next = workspace_.OpenNext(panel, opened.View, IdentifyScript(320, 240), L"C:\\videos\\next.avi");
  EXPECT_EQ(next.Result, kShown);
  EXPECT_TRUE(next.Log.CommandLine().ends_with(L" -quiet -slave -identify -wid " + HandleText(opened.View) +
                                               L" -colorkey 0x101010 C:\\videos\\next.avi"))
      << Utf8(next.Log.CommandLine());
  EXPECT_TRUE(moves.Moves().empty()) << "the quick-view panel is never moved";
  workspace_.Host().CloseWindow(opened.View);
  DestroyListerWindow(panel);
}

// The file manager runs for days: a view that changes its file 100 times (40 in
// the emulated lane, where each switch takes seconds; a page or a handle left per
// switch shows there too) must hold the handles, windows and memory it held
// after the first few.
TEST_F(LoadNext, HundredSwitchesLeaveNothingBehind) {
  constexpr int kWarmUpSwitches = 10;
  const int kSwitches = TimeScale() > 1 ? 40 : 100;
  PluginHost& host = LoadWithDefaultSettings(L"normal");
  KeepPoolWaiting();
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  auto next = [&](int number) {
    const LoadedNext loaded = workspace_.OpenNext(lister_, opened.View, IdentifyScript(640, 480 - number % 7));
    ASSERT_EQ(loaded.Result, kShown) << "switch " << number;
    // Every path a view takes: a toggle, the progress display, the host's command.
    Press(opened.View, 'H');
    Press(opened.View, 'I');
    host.SendCommand(opened.View, 2);
  };

  const CycleResources measured = MeasureCycles(kWarmUpSwitches, kSwitches, next);
  const size_t players = TestWorkspace::RunningChildProcesses().size();

  ReportResources("after 10 switches", "after_10", measured.Warm);
  ReportResources("after " + std::to_string(kSwitches) + " switches", "after_all", measured.After);
  std::printf("%d switches in %.1f s; player processes running: %zu (the view's own, the pool's waiting view's)\n",
              kSwitches, measured.Seconds, players);
  ExpectHostAsWarm(measured.Warm, measured.After, kSwitches - kWarmUpSwitches);
  EXPECT_EQ(players, 2u);
  host.CloseWindow(opened.View);
}

TEST_F(LoadNext, UnplayableFileLeavesAnEmptyViewToLoadAgainOrClose) {
  PluginHost& host = LoadWithDefaultSettings(L"normal");
  const DWORD handlesBefore = WarmHandleCount();
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  const OuterSize placed = OuterSizeOf(lister_);

  const LoadedNext rejected = workspace_.OpenNext(lister_, opened.View, kRejectingPlayer);
  EXPECT_EQ(rejected.Result, kRefused);
  EXPECT_TRUE(PlayerEnded(opened.Log));
  EXPECT_EQ(opened.Log.StandardInput(), "quit\n");
  EXPECT_TRUE(WaitUntil([&] { return PlayerEnded(rejected.Log); }));
  // A valid, empty view: no record, no player, no handle; keys and commands do nothing.
  EXPECT_TRUE(IsWindow(opened.View));
  EXPECT_FALSE(HoldsRecord(opened.View));
  EXPECT_EQ(HandleCount(), handlesBefore);
  Press(opened.View, VK_SPACE);
  Press(opened.View, 'Q');
  EXPECT_EQ(host.SendCommand(opened.View, 2), 0);
  MSG message;
  EXPECT_FALSE(PeekMessageW(&message, lister_, WM_CLOSE, WM_CLOSE, PM_NOREMOVE)) << "Q asked nobody to close";
  EXPECT_EQ(OuterSizeOf(lister_), placed) << "the Lister stays where it is";

  // Loaded again, it shows the next file.
  const LoadedNext loaded = workspace_.OpenNext(lister_, opened.View, IdentifyScript(320, 240));
  EXPECT_EQ(loaded.Result, kShown);
  EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(320, 240));
  Press(opened.View, 'H');
  EXPECT_TRUE(loaded.Log.WaitForInput("loop 1\n")) << loaded.Log.StandardInput();

  // Emptied again, the host closes it.
  EXPECT_EQ(workspace_.OpenNext(lister_, opened.View, kRejectingPlayer).Result, kRefused);
  host.CloseWindow(opened.View);
  EXPECT_FALSE(IsWindow(opened.View));
  EXPECT_EQ(HandleCount(), handlesBefore);
}

TEST_F(LoadNext, PlayerThatCannotStartWarnsOnceAndLeavesAnEmptyView) {
  PluginHost& host = LoadWithDefaultSettings();
  const std::vector<std::pair<std::wstring, std::wstring>> missingPlayer = {
      {L"MPlayer_path", L"no such folder\\mplayer.exe"}};
  // Warm up whatever the first warning allocates once per process, then count.
  workspace_.WriteSettings(missingPlayer);
  host.LoadW(lister_, L"C:\\videos\\clip.avi");
  boxes_.Take();
  workspace_.WriteDefaultSettings();
  const DWORD handlesBefore = WarmHandleCount();
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);

  // Settings are read afresh for the next file.
  workspace_.WriteSettings(missingPlayer);
  EXPECT_EQ(host.LoadNextW(lister_, opened.View, L"C:\\videos\\next.avi"), kRefused);
  const auto box = boxes_.Take();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->second, L"Cannot create process: " + JoinPath(workspace_.Folder(), L"no such folder\\mplayer.exe"));
  PumpMessages(100);
  EXPECT_FALSE(boxes_.Take().has_value()) << "one box, as a load shows";
  EXPECT_TRUE(PlayerEnded(opened.Log));
  EXPECT_EQ(opened.Log.StandardInput(), "quit\n");
  EXPECT_TRUE(IsWindow(opened.View));
  EXPECT_FALSE(HoldsRecord(opened.View));
  EXPECT_EQ(HandleCount(), handlesBefore) << "the old player's handles are released";

  workspace_.WriteDefaultSettings();
  const LoadedNext loaded = workspace_.OpenNext(lister_, opened.View, IdentifyScript(640, 480));
  EXPECT_EQ(loaded.Result, kShown);
  host.CloseWindow(opened.View);
  EXPECT_TRUE(loaded.Log.WaitForInput("quit\n")) << loaded.Log.StandardInput();
}

TEST_F(LoadNext, WindowsThatAreNotViewsOfOursAreRefusedUntouched) {
  PluginHost& host = LoadWithDefaultSettings(L"normal");
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  const WatchedPlayer player(opened.View);
  const OpenedView closed = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(closed.View, nullptr);
  host.CloseWindow(closed.View);
  HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_CHILD, 0, 0, 10, 10, lister_, nullptr, nullptr, nullptr);
  SetWindowLongPtrW(other, GWLP_USERDATA, GetWindowLongPtrW(opened.View, GWLP_USERDATA));
  HWND otherLister = CreateFreeListerWindow(900, 600);
  const OuterSize placed = OuterSizeOf(lister_);
  const DWORD handles = HandleCount();

  struct Case {
    const char* What;
    HWND Lister, View;
  };
  for (const Case& refused : {Case{"another plugin's window", lister_, other},
                              Case{"a closed view", lister_, closed.View},
                              Case{"no window", lister_, nullptr},
                              Case{"a view of ours in another Lister", otherLister, opened.View}}) {
    const LoadedNext next = workspace_.OpenNext(refused.Lister, refused.View, IdentifyScript(320, 240));
    EXPECT_EQ(next.Result, kRefused) << refused.What;
    EXPECT_FALSE(next.Log.Started()) << refused.What;
  }
  EXPECT_TRUE(player.Running());
  EXPECT_EQ(opened.Log.StandardInput(), "");
  EXPECT_EQ(HandleCount(), handles);
  EXPECT_EQ(OuterSizeOf(lister_), placed);
  EXPECT_EQ(OuterSizeOf(otherLister), OuterSize(900, 600));
  EXPECT_TRUE(IsWindow(other));
  DestroyWindow(other);
  DestroyListerWindow(otherLister);
  host.CloseWindow(opened.View);
}
