// VLC as the player, through the exports: the stand-in, installed as vlc.exe,
// listens on the loopback port named on its command line as VLC's remote control
// does. Its command line, the identification there, each key's command, the
// close, a VLC that can't play the file, one that never opens its port, one whose
// port another program holds, and one that floods it.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "host_test.h"
#include "identify_checks.h"
#include "player_process.h"
#include "watched_player.h"
#include "window_messages.h"

namespace {

constexpr double kSlackMs = 3000.0;
constexpr double kBeforeTheBoundMs = kIdentifyBoundMs - 50.0;
constexpr double kBoundWithSlackMs = kIdentifyBoundMs + kSlackMs;
constexpr double kCloseBoundMs = kQuitGraceMs + kCommandWriteBoundMs + kSlackMs;

// What VLC's "info" lists for a |width| by |height| video (its buffer a little larger).
std::string VlcInfo(int width, int height) {
  return "rc-info +----[ Meta data ]\\r\\n|\\r\\n+----[ Stream 0 ]\\r\\n| Buffer dimensions: " + std::to_string(width) +
         "x" + std::to_string(height + 18) + "\\r\\n| Video resolution: " + std::to_string(width) + "x" +
         std::to_string(height) + "\\r\\n| Type: Video\\r\\n+----[ Stream 1 ]\\r\\n| Type: Audio\\r\\n"
         "+----[ end of stream info ]\\r\\n\n";
}

const std::string kAudioInfo =
    "rc-info +----[ Stream 0 ]\\r\\n| Type: Audio\\r\\n+----[ end of stream info ]\\r\\n\nrc-time 1\n";

// The port in "--rc-host=127.0.0.1:PORT" of a command line.
unsigned short PortIn(const std::wstring& line) {
  const size_t at = line.find(L"--rc-host=127.0.0.1:");
  return at == std::wstring::npos ? 0 : static_cast<unsigned short>(_wtoi(line.c_str() + at + 20));
}

// Whether the system's table of TCP listeners names their processes, as Windows
// does: it names this process for a listener of its own.
bool SystemNamesListenersProcesses() {
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int size = sizeof(address);
  bool named = false;
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 && listen(listener, 1) == 0 &&
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
    std::vector<unsigned char> table(256 * 1024);
    auto bytes = static_cast<DWORD>(table.size());
    if (GetExtendedTcpTable(table.data(), &bytes, FALSE, AF_INET, TCP_TABLE_OWNER_PID_LISTENER, 0) == NO_ERROR) {
      const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
      for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
        named = named || (rows->table[i].dwLocalPort == address.sin_port &&
                          rows->table[i].dwOwningPid == GetCurrentProcessId());
      }
    }
  }
  closesocket(listener);
  return named;
}

}  // namespace

class VlcPlayer : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    workspace_.InstallPlayer(L"vlc.exe");
    workspace_.WriteSettings({{L"MPlayer_path", L"vlc.exe"}, {L"View_Size", L"normal"}});
    host_ = &workspace_.LoadPlugin();
    unplaced_ = OuterSizeOf(lister_);
  }

  OpenedView OpenTimed(const std::string& script, const std::string& what, double& took) {
    const Stopwatch stopwatch;
    OpenedView opened = workspace_.Open(lister_, script);
    took = stopwatch.Milliseconds();
    ReportOpenTime("VLC, " + what, took);
    return opened;
  }

  void ExpectNullAndNothingLeft(const OpenedView& opened, const std::string& what) {
    EXPECT_EQ(opened.View, nullptr) << what;
    EXPECT_EQ(GetWindow(lister_, GW_CHILD), nullptr) << what;
    EXPECT_EQ(OuterSizeOf(lister_), unplaced_) << what;
    EXPECT_TRUE(WaitUntil([&] { return PlayerEnded(opened.Log); })) << what << ": no player outlives ListLoadW";
  }

  PluginHost* host_ = nullptr;
  OuterSize unplaced_;
};

TEST_F(VlcPlayer, CommandLineNamesAFreshLoopbackPortAndTheViewAndTheSizePlacesTheLister) {
  unsigned short firstPort = 0;
  for (int view = 0; view < 2; ++view) {
    double took = 0;
    const OpenedView opened = OpenTimed(VlcInfo(640, 480), "640x480", took);
    ASSERT_NE(opened.View, nullptr) << testing::PrintToString(opened.Log.Events());
    const std::wstring line = opened.Log.CommandLine();
    const unsigned short port = PortIn(line);
    EXPECT_EQ(line, JoinPath(workspace_.Folder(), L"vlc.exe") +
                        L" --intf=dummy --extraintf=rc --rc-quiet --rc-host=127.0.0.1:" + std::to_wstring(port) +
                        L" --drawable-hwnd=" + HandleText(opened.View) +
                        L" --no-keyboard-events --no-mouse-events --no-video-title-show --no-one-instance"
                        L" --play-and-exit -- C:\\videos\\clip.avi");
    EXPECT_NE(port, 0);
    EXPECT_NE(port, firstPort) << "every view has a port of its own";
    firstPort = port;
    EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(640, 480));
    EXPECT_LT(took, kBeforeTheBoundMs);
    EXPECT_TRUE(opened.Log.ControlPipeInput().starts_with("info\nget_time\n"));
    host_->CloseWindow(opened.View);
  }
}

// Each key's command on the port; keys VLC has no command for (brightness, mute,
// the position, a frame back, the next track) send nothing, the volume keys no
// question (VLC answers them with its level); the close is "shutdown" ("quit"
// would only end the connection), VLC ends by itself, and nothing of the
// plugin's holds the sockets library any more.
TEST_F(VlcPlayer, KeysAreRemoteControlCommandsAndTheCloseShutsVlcDown) {
  const OpenedView opened = workspace_.Open(lister_, VlcInfo(640, 480));
  ASSERT_NE(opened.View, nullptr);
  const size_t asked = opened.Log.ControlPipeInput().size();
  for (const int key : {VK_SPACE, VK_RIGHT, VK_LEFT, VK_UP, VK_DOWN, int{'0'}, int{'9'}, int{'H'}, int{'H'}, int{'M'},
                        int{'I'}, 0xDE, 0xBA, 0xDB, 0xDD, VK_BACK, 0xBE, 0xBC, int{'J'}}) {
    SendMessageW(opened.View, WM_KEYDOWN, static_cast<WPARAM>(key), 1);
  }
  SendMessageW(opened.View, WM_CHAR, '#', 1);
  const std::string keys =
      "pause\nseek +10\nseek -10\nseek +60\nseek -60\nvolup 1\nvoldown 1\nrepeat on\nrepeat off\n"
      "slower\nfaster\nnormal\nframe\n";
  EXPECT_TRUE(opened.Log.WaitForControlPipeInput(opened.Log.ControlPipeInput().substr(0, asked) + keys))
      << opened.Log.ControlPipeInput().substr(asked);
  const WatchedPlayer player(opened.View);
  const Stopwatch stopwatch;
  host_->CloseWindow(opened.View);
  EXPECT_LT(stopwatch.Milliseconds(), kCloseBoundMs);
  EXPECT_TRUE(player.Ended(3000));
  EXPECT_EQ(player.ExitCode(), 0u) << "ended by itself, not terminated";
  EXPECT_EQ(opened.Log.ControlPipeInput().substr(asked), keys + "shutdown\n");
  // The plugin's use of the sockets library ended with the view's connection.
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST_F(VlcPlayer, FileWithoutVideoKeepsItsViewUnplaced) {
  double took = 0;
  const OpenedView opened = OpenTimed(kAudioInfo, "audio", took);
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(OuterSizeOf(lister_), unplaced_);
  EXPECT_LT(took, kBeforeTheBoundMs);
  host_->CloseWindow(opened.View);
}

// VLC ends at once with exit code 0 on a file it can't open, before or after its
// port could be reached: null, no message, nothing left.
TEST_F(VlcPlayer, VlcThatEndsBeforeListingStreamsCouldNotPlayTheFile) {
  for (const char* script : {"no-pipe\nexit 0\n", "sleep 300\nexit 0\n"}) {
    double took = 0;
    const OpenedView opened = OpenTimed(script, script, took);
    ExpectNullAndNothingLeft(opened, script);
    EXPECT_LT(took, kBeforeTheBoundMs) << script;
  }
}

// A VLC that never listens on its port (too old, or stopped by an option it does
// not know): the message, null after the bound, nothing left.
TEST_F(VlcPlayer, WithoutItsOwnPortWarnsOnceAndLeavesNothing) {
  double took = 0;
  const OpenedView silent = OpenTimed("no-pipe\n", "no port", took);
  ExpectNullAndNothingLeft(silent, "no port");
  EXPECT_GE(took, kBeforeTheBoundMs);
  EXPECT_LT(took, kBoundWithSlackMs);
  const auto box = boxes_.Take();
  ASSERT_TRUE(box.has_value());
  EXPECT_TRUE(box->second.starts_with(L"VLC did not open its remote control: " +
                                      JoinPath(workspace_.Folder(), L"vlc.exe")))
      << Utf8(box->second);
}

// Another program listens on the view's port before VLC could (here the test
// itself, once the player's command line names the port): the plugin takes no
// port but one of the player's own.
TEST_F(VlcPlayer, PortHeldByAnotherProgramIsNeverTaken) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  if (!SystemNamesListenersProcesses()) {
    WSACleanup();
    GTEST_SKIP() << "this system (Wine) names no process for a TCP listener: the plugin can't tell whose a port is";
  }
  SOCKET impostor = INVALID_SOCKET;
  std::atomic<bool> stop{false};
  std::atomic<bool> listening{false};
  std::thread takeThePort([&] {
    const PlayerLog log(JoinPath(workspace_.Folder(), L"player-1"));
    while (!stop && !log.Started()) Sleep(2);
    const unsigned short port = PortIn(log.CommandLine());
    if (port == 0) return;
    impostor = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    listening = bind(impostor, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
                listen(impostor, 1) == 0;
  });
  double took = 0;
  const OpenedView opened = OpenTimed("no-pipe\n", "port held by another program", took);
  stop = true;
  takeThePort.join();
  EXPECT_TRUE(listening) << "the test could not take the port";
  ExpectNullAndNothingLeft(opened, "foreign port");
  EXPECT_LT(took, kBeforeTheBoundMs) << "refused as soon as the other program listens";
  const auto box = boxes_.Take();
  ASSERT_TRUE(box.has_value());
  EXPECT_TRUE(box->second.starts_with(L"VLC did not open its remote control: ")) << Utf8(box->second);
  if (impostor != INVALID_SOCKET) {
    // Nobody connected to it.
    u_long waiting = 1;
    ioctlsocket(impostor, FIONBIO, &waiting);
    EXPECT_EQ(accept(impostor, nullptr, nullptr), INVALID_SOCKET);
    closesocket(impostor);
  }
  WSACleanup();
}

TEST_F(VlcPlayer, FloodingItsPortNeverHoldsTheHostPastTheBound) {
  double took = 0;
  const OpenedView opened = OpenTimed("pipe flood 20000000\n", "flooding", took);
  EXPECT_LT(took, kBoundWithSlackMs);
  if (opened.View != nullptr) host_->CloseWindow(opened.View);
}

// The level VLC last reported ("volup" answers it) starts the next VLC, told as
// soon as it answers; At_end=loop is VLC's
// own option, Start_paused a seek to the start, paused.
TEST_F(VlcPlayer, ReportedLevelStartsTheNextVlcAndLoopAndStartPausedAreTold) {
  const OpenedView opened = workspace_.Open(lister_, VlcInfo(640, 480) + "await volup 1\nmark reported\n");
  ASSERT_NE(opened.View, nullptr);
  SendMessageW(opened.View, WM_KEYDOWN, '0', 1);
  ASSERT_TRUE(opened.Log.WaitForEvent("mark reported"));
  // The close reads what VLC wrote before it ended: its answer "( audio volume: 269 )".
  host_->CloseWindow(opened.View);

  workspace_.WriteSettings(
      {{L"MPlayer_path", L"vlc.exe"}, {L"View_Size", L"normal"}, {L"At_end", L"loop"}, {L"Start_paused", L"1"}});
  const OpenedView next = workspace_.Open(lister_, VlcInfo(640, 480));
  ASSERT_NE(next.View, nullptr);
  EXPECT_TRUE(next.Log.CommandLine().ends_with(
      L" --no-one-instance --repeat --play-and-exit -- C:\\videos\\clip.avi"))
      << Utf8(next.Log.CommandLine());
  // 269 of VLC's 256ths is 105.1 %: told back as 269; then the first frame, paused.
  SendMessageW(next.View, WM_KEYDOWN, 'H', 1);  // looping already: H ends it
  EXPECT_TRUE(WaitUntil([&] {
    return next.Log.ControlPipeInput().ends_with("\nvolume 269\nseek 0\npause\nrepeat off\n");
  })) << next.Log.ControlPipeInput();
  host_->CloseWindow(next.View);
}

// VLC reports no end of the video: it ends there (--play-and-exit). With
// At_end=next, a VLC that ends by itself has Lister asked for the next file,
// once; one the plugin shuts down does not.
TEST_F(VlcPlayer, EndingByItselfAsksForTheNextFileAndTheCloseDoesNot) {
  workspace_.WriteSettings({{L"MPlayer_path", L"vlc.exe"}, {L"View_Size", L"normal"}, {L"At_end", L"next"}});
  MessageRecorder lister(lister_);
  const OpenedView ended = workspace_.Open(lister_, VlcInfo(640, 480) + "await pause\nexit 0\n");
  ASSERT_NE(ended.View, nullptr);
  PumpMessages(50);
  EXPECT_EQ(lister.Count(WM_COMMAND), 0u) << "not before the end";
  SendMessageW(ended.View, WM_KEYDOWN, VK_SPACE, 1);
  EXPECT_TRUE(WaitUntil([&] { return lister.Count(WM_COMMAND, MAKEWPARAM(0, 0xFFFA)) > 0; }));
  host_->CloseWindow(ended.View);

  const OpenedView closed = workspace_.Open(lister_, VlcInfo(640, 480));
  ASSERT_NE(closed.View, nullptr);
  const WatchedPlayer player(closed.View);
  host_->CloseWindow(closed.View);
  EXPECT_TRUE(player.Ended(3000));
  PumpMessages(200);
  EXPECT_EQ(lister.Count(WM_COMMAND), 1u);
}
