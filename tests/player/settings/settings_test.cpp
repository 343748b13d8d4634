// reelpane.ini next to the plugin file: paths taken from the plugin folder,
// variables expanded, the 64-bit player key, and values that don't fit.
#include <gtest/gtest.h>

#include "host_test.h"
#include "process_state.h"
#include "settings.h"

class Settings : public HostTest {
 protected:
  // Opens a file and gives the player's command line up to the first option.
  std::wstring StartedPlayerPath() {
    const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
    if (opened.View == nullptr) return L"<no view>";
    workspace_.Host().CloseWindow(opened.View);
    const std::wstring line = opened.Log.CommandLine();
    return line.substr(0, line.find(L" -quiet"));
  }
};

TEST_F(Settings, RelativePathIsTakenFromThePluginFolder) {
  workspace_.MakeFolder(L"mplayer");
  const std::wstring player = workspace_.InstallPlayer(L"mplayer\\standin-player.exe");
  workspace_.WriteSettings({{L"MPlayer_path", L"mplayer\\standin-player.exe"}});
  workspace_.LoadPlugin();
  ScopedCurrentDirectory elsewhere(L"C:\\windows");
  EXPECT_EQ(StartedPlayerPath(), player);
  EXPECT_EQ(CurrentDirectory(), L"C:\\windows");
}

TEST_F(Settings, ParentFolderPathIsTakenFromThePluginFolder) {
  const std::wstring name = L"standin-" + std::to_wstring(GetCurrentProcessId()) + L".exe";
  const std::wstring player = JoinPath(workspace_.Folder().substr(0, workspace_.Folder().find_last_of(L'\\')), name);
  CopyFileW(JoinPath(BuildFolder(), L"standin-player.exe").c_str(), player.c_str(), FALSE);
  workspace_.WriteSettings({{L"MPlayer_path", L"..\\" + name}});
  workspace_.LoadPlugin();
  ScopedCurrentDirectory elsewhere(L"C:\\windows\\system32");
  EXPECT_EQ(StartedPlayerPath(), player);
  EXPECT_EQ(CurrentDirectory(), L"C:\\windows\\system32");
  DeleteFileW(player.c_str());
}

TEST_F(Settings, VariablesAreExpandedThenResolved) {
  workspace_.MakeFolder(L"players");
  const std::wstring player = workspace_.InstallPlayer(L"players\\standin-player.exe");
  ScopedVariable players(L"REELPANE_TEST_PLAYERS", L"players");
  workspace_.WriteSettings({{L"MPlayer_path", L"%REELPANE_TEST_PLAYERS%\\standin-player.exe"}});
  workspace_.LoadPlugin();
  ScopedCurrentDirectory elsewhere(L"C:\\");
  EXPECT_EQ(StartedPlayerPath(), player);
  EXPECT_EQ(CurrentDirectory(), L"C:\\");
}

// The 32-bit build ignores the key altogether, even when it names an existing file.
TEST_F(Settings, The64BitPlayerKeyWinsOnlyWithAnExistingFile) {
  workspace_.MakeFolder(L"x64");
  workspace_.MakeFolder(L"x86");
  const std::wstring player64 = workspace_.InstallPlayer(L"x64\\standin-player.exe");
  const std::wstring player32 = workspace_.InstallPlayer(L"x86\\standin-player.exe");
  workspace_.LoadPlugin();

  workspace_.WriteSettings({{L"MPlayer_path", L"x86\\standin-player.exe"},
                            {L"MPlayer_path_x64", L"x64\\standin-player.exe"}});
  EXPECT_EQ(StartedPlayerPath(), sizeof(void*) == 8 ? player64 : player32);
  workspace_.WriteSettings({{L"MPlayer_path", L"x86\\standin-player.exe"}, {L"MPlayer_path_x64", L"x64"}});
  EXPECT_EQ(StartedPlayerPath(), player32) << "a folder loses";
  workspace_.WriteSettings({{L"MPlayer_path", L"x86\\standin-player.exe"},
                            {L"MPlayer_path_x64", L"x64\\missing.exe"}});
  EXPECT_EQ(StartedPlayerPath(), player32) << "a missing file loses";
  workspace_.WriteSettings({{L"MPlayer_path", L"x86\\standin-player.exe"}, {L"MPlayer_path_x64", L""}});
  EXPECT_EQ(StartedPlayerPath(), player32) << "an empty value loses";
}

TEST_F(Settings, SettingsAreReadAfreshForEveryFile) {
  workspace_.InstallPlayer();
  workspace_.WriteSettings({{L"MPlayer_path", L"standin-player.exe"}, {L"MPlayer_params", L"\" -first\""}});
  workspace_.LoadPlugin();
  EXPECT_EQ(StartedPlayerPath(), JoinPath(workspace_.Folder(), L"standin-player.exe") + L" -first");
  workspace_.WriteSettings({{L"MPlayer_path", L"standin-player.exe"}, {L"MPlayer_params", L"\" -second\""}});
  EXPECT_EQ(StartedPlayerPath(), JoinPath(workspace_.Folder(), L"standin-player.exe") + L" -second");
}

TEST_F(Settings, LongValuesAreCutAt2047Characters) {
  workspace_.InstallPlayer();
  // Quoted, so that the platform keeps the leading blank.
  const std::wstring params = L" " + std::wstring(2999, L'p');
  workspace_.WriteSettings({{L"MPlayer_path", L"standin-player.exe"}, {L"MPlayer_params", L"\"" + params + L"\""}});
  workspace_.LoadPlugin();
  EXPECT_EQ(StartedPlayerPath(), JoinPath(workspace_.Folder(), L"standin-player.exe") + params.substr(0, 2047));
}

// An expansion that would not fit is never used with undefined content: the path is empty.
TEST_F(Settings, ExpansionPastItsBufferGivesAnEmptyPath) {
  ScopedVariable tooLong(L"REELPANE_TEST_LONG", std::wstring(3300, L'a'));
  workspace_.WriteSettings({{L"MPlayer_path", L"%REELPANE_TEST_LONG%"}});
  PluginHost& host = workspace_.LoadPlugin();
  EXPECT_EQ(host.LoadW(lister_, L"C:\\videos\\clip.avi"), nullptr);
  const auto box = boxes_.Take();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->second, L"Cannot create process: ");
}

// A current directory longer than MAX_PATH is saved and given back whole. (Wine
// can't start a process from such a directory, so the resolution is called directly.)
TEST(PluginPath, LongCurrentDirectoryIsRestoredWhole) {
  TestWorkspace workspace;
  std::wstring relative = L"deeper-folder-name";
  std::wstring deep = workspace.MakeFolder(relative);
  while (deep.size() <= MAX_PATH) {
    relative += L"\\deeper-folder-name";
    deep = workspace.MakeFolder(relative);
  }
  ScopedCurrentDirectory elsewhere(deep);
  ASSERT_EQ(CurrentDirectory(), deep);
  EXPECT_EQ(ResolvePluginPath(L"mplayer\\mplayer.exe"), JoinPath(BuildFolder(), L"mplayer\\mplayer.exe"));
  EXPECT_EQ(CurrentDirectory(), deep);
}

TEST(PluginPath, EmptyStaysEmptyAndAbsolutePathsAreNormalised) {
  EXPECT_EQ(ResolvePluginPath(L""), L"");
  EXPECT_EQ(ResolvePluginPath(L"C:\\tools\\.\\mplayer\\..\\mplayer.exe"), L"C:\\tools\\mplayer.exe");
}

TEST(PluginPath, FolderOfAFile) {
  EXPECT_EQ(FolderOfFile(L"D:\\tools\\plugins\\reelpane.wlx64"), L"D:\\tools\\plugins\\");
  EXPECT_EQ(FolderOfFile(L"D:reelpane.wlx"), L"D:");
}
