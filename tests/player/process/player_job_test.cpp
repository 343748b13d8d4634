// Players never outlive the file manager: a host that is killed, or that
// crashes, takes its players with it; a normal close still lets them quit.
#include <gtest/gtest.h>

#include "host_test.h"
#include "identify_checks.h"
#include "plugin_call_spy.h"
#include "player_process.h"
#include "watched_player.h"

namespace {

// reelpane-host.exe in a process of its own, its output in a file; optionally inside a job.
class HostProcess {
 public:
  HostProcess(TestWorkspace& workspace, const std::wstring& arguments, const std::wstring& playerLog,
              const std::string& script, HANDLE job = nullptr)
      : output_(JoinPath(workspace.Folder(), L"host-output.txt")) {
    SECURITY_ATTRIBUTES inheritable{sizeof(inheritable), nullptr, TRUE};
    HANDLE outputFile = CreateFileW(output_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                    CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = outputFile;
    startup.hStdError = outputFile;
    std::wstring commandLine = L"\"" + JoinPath(BuildFolder(), L"reelpane-host.exe") + L"\" --plugin \"" +
                               workspace.PluginPath() + L"\" " + arguments;
    SetEnvironmentVariableW(L"REELPANE_STANDIN_LOG", playerLog.c_str());
    SetEnvironmentVariableW(L"REELPANE_STANDIN_SCRIPT", FromUtf8(script).c_str());
    PROCESS_INFORMATION started{};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                       &startup, &started)) {
      if (job != nullptr) AssignProcessToJobObject(job, started.hProcess);
      ResumeThread(started.hThread);
      CloseHandle(started.hThread);
      process_ = started.hProcess;
    }
    SetEnvironmentVariableW(L"REELPANE_STANDIN_LOG", nullptr);
    SetEnvironmentVariableW(L"REELPANE_STANDIN_SCRIPT", nullptr);
    CloseHandle(outputFile);
  }
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;
  ~HostProcess() {
    if (process_ == nullptr) return;
    Terminate();
    CloseHandle(process_);
  }

  bool Started() const { return process_ != nullptr; }
  std::string Output() const { return ReadFileBytes(output_); }
  bool WaitForOutput(const std::string& text) const {
    return WaitUntil([&] { return Output().find(text) != std::string::npos; });
  }
  void Terminate() {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
  }
  DWORD WaitForExit() const {
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process_, 15000) == WAIT_OBJECT_0) GetExitCodeProcess(process_, &code);
    return code;
  }

 private:
  std::wstring output_;
  HANDLE process_ = nullptr;
};

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// Opens two views in a host of its own, kills the host without closing them,
// and gives the players' ids with whether each was still running a second later.
std::vector<std::pair<DWORD, bool>> PlayersAfterTheHostIsKilled(TestWorkspace& workspace) {
  workspace.WriteDefaultSettings();
  const std::wstring log = workspace.MakeFolder(L"players");
  HostProcess host(workspace, L"--views 2 --no-close C:\\videos\\clip.avi", log, IdentifyScript(640, 480));
  EXPECT_TRUE(host.Started());
  EXPECT_TRUE(WaitUntil([&] { return Count(host.Output(), "open: view shown") == 2; })) << host.Output();
  const std::vector<DWORD> players = PlayerLog(log).ProcessIds();
  EXPECT_EQ(players.size(), 2u);
  // Handles taken while the players surely run: Wine soon gives an ended player's
  // id to a new process, perhaps another test's player, which must not be killed.
  std::vector<HANDLE> handles;
  for (DWORD player : players) handles.push_back(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, player));

  host.Terminate();
  Sleep(1000);
  std::vector<std::pair<DWORD, bool>> seen;
  for (size_t i = 0; i < players.size(); ++i) {
    EXPECT_NE(handles[i], nullptr) << "player " << players[i];
    if (handles[i] == nullptr) continue;
    seen.emplace_back(players[i], WaitForSingleObject(handles[i], 0) == WAIT_TIMEOUT);
    TerminateProcess(handles[i], 1);
    WaitForSingleObject(handles[i], 5000);
    CloseHandle(handles[i]);
  }
  return seen;
}

}  // namespace

using PlayerJob = HostTest;

TEST_F(PlayerJob, PlayerIsInTheJobFromItsFirstInstruction) {
  PluginHost& host = LoadWithDefaultSettings();
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  EXPECT_TRUE(opened.Log.HasEvent("in-job"));
  host.CloseWindow(opened.View);
}

TEST_F(PlayerJob, KilledHostTakesItsPlayersWithIt) {
  for (const auto& [player, running] : PlayersAfterTheHostIsKilled(workspace_)) {
    EXPECT_FALSE(running) << "player " << player << " outlived its host";
  }
}

// The same without the job: the players stay, so the test above can fail.
TEST(PlayerJobControl, WithoutTheJobPlayersOutliveAKilledHost) {
  TestWorkspace workspace(PluginFileName(L"reelpane-without-job"));
  const auto players = PlayersAfterTheHostIsKilled(workspace);
  ASSERT_EQ(players.size(), 2u);
  for (const auto& [player, running] : players) EXPECT_TRUE(running) << "player " << player;
}

TEST_F(PlayerJob, PlayerThatQuitsEndsWithItsOwnExitCode) {
  PluginHost& host = LoadWithDefaultSettings();
  const OpenedView opened = workspace_.Open(lister_, "quit-code 42\n" + IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  const WatchedPlayer player(opened.View);
  host.CloseWindow(opened.View);
  ASSERT_TRUE(player.Ended(5000));
  EXPECT_EQ(player.ExitCode(), 42u) << "the player quit by itself; neither terminated nor killed with the job";
}

// A host that runs inside a job of its own (where nesting may be refused) still works as before.
TEST_F(PlayerJob, HostInsideAJobStillOpensAndCloses) {
  workspace_.WriteDefaultSettings();
  const std::wstring log = workspace_.MakeFolder(L"players");
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  ASSERT_NE(job, nullptr);
  {
    HostProcess host(workspace_, L"--keys space --hold 200 C:\\videos\\clip.avi", log, IdentifyScript(640, 480),
                     job);
    ASSERT_TRUE(host.Started());
    EXPECT_EQ(host.WaitForExit(), 0u) << host.Output();
    EXPECT_NE(host.Output().find("open: view shown"), std::string::npos) << host.Output();
  }
  const PlayerLog player(log);
  EXPECT_EQ(player.StandardInput(), "pause\nquit\n");
  EXPECT_TRUE(player.WaitForEvent("exit"));
  CloseHandle(job);
}

// A player that crashes (on a damaged file) ends at once, with no fault dialog
// to wait for, and the view takes it as a player that has ended. Its job makes
// every process in it die on an unhandled exception (which on Windows also sets
// their error mode without the fault dialog; Wine shows none either way, so the
// job's limits are read where the plugin sets them).
TEST_F(PlayerJob, CrashingPlayerEndsAtOnceWithoutADialogAsAPlayerThatExited) {
  PluginHost& host = LoadWithDefaultSettings(L"normal");
  PluginCallSpy spy(host.Module());
  ASSERT_TRUE(spy.Attached());
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480) + "await seek +10\ncrash\n");
  ASSERT_NE(opened.View, nullptr);
  const std::vector<SpiedCall> jobs = spy.CallsTo("SetInformationJobObject");
  ASSERT_EQ(jobs.size(), 1u);
  constexpr DWORD kLimits = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  EXPECT_EQ(jobs[0].Flags & kLimits, kLimits) << std::hex << jobs[0].Flags;

  const WatchedPlayer player(opened.View);
  SendMessageW(opened.View, WM_KEYDOWN, VK_RIGHT, 1);
  ASSERT_TRUE(player.Ended(5000));
  EXPECT_EQ(player.ExitCode(), static_cast<DWORD>(EXCEPTION_ACCESS_VIOLATION));
  // Keys and the close meet a player that has gone: nothing waits for it.
  SendMessageW(opened.View, WM_KEYDOWN, VK_SPACE, 1);
  const Stopwatch close;
  host.CloseWindow(opened.View);
  std::printf("ListCloseWindow after the player crashed: %.1f ms\n", close.Milliseconds());
  EXPECT_LT(close.Milliseconds(), ScaledMs(kQuitGraceMs / 2.0));
  EXPECT_FALSE(IsWindow(opened.View));

  // Crashed before it told its size: as a player that ends without a word, the
  // view is kept unplaced, at once, and closes at once. (Under emulation a
  // program's start and Wine's handling of its crash take seconds: the slack is
  // stretched there.)
  const OuterSize unplaced = OuterSizeOf(lister_);
  const Stopwatch open;
  const OpenedView crashed = workspace_.Open(lister_, "crash\n");
  std::printf("ListLoadW, a player that crashes at once: %.1f ms\n", open.Milliseconds());
  EXPECT_NE(crashed.View, nullptr);
  EXPECT_LT(open.Milliseconds(), ScaledMs(kIdentifyBoundMs / 2.0));
  EXPECT_EQ(OuterSizeOf(lister_), unplaced);
  const Stopwatch closeCrashed;
  host.CloseWindow(crashed.View);
  EXPECT_LT(closeCrashed.Milliseconds(), ScaledMs(kQuitGraceMs / 2.0));
}
