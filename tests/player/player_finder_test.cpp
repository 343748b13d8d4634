// Finding the player when MPlayer_path is empty or missing: one test per step of
// the order, each with its own player and those of every later step set up (the
// plugin folder's, an installed VLC in the registry, the PATH's), so that the step
// shows it comes first. The stand-in player plays each; its script answers every
// dialect, and its command line tells which dialect the plugin chose.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "host_test.h"
#include "identify_checks.h"

namespace {

// Identification in all three dialects: VLC's remote control, MPlayer's output, mpv's pipe.
const std::string kAnyPlayerScript =
    "rc-info +----[ Stream 0 ]\\r\\n| Video resolution: 640x480\\r\\n+----[ end of stream info ]\\r\\n\n" +
    IdentifyScript(640, 480) + MpvIdentifyScript(640, 480);

constexpr wchar_t kVlcKey[] = L"SOFTWARE\\VideoLAN\\VLC";

// PATH set for a test, and given back as it was.
class ScopedPath {
 public:
  explicit ScopedPath(const std::wstring& value) {
    saved_.resize(GetEnvironmentVariableW(L"PATH", nullptr, 0));
    saved_.resize(GetEnvironmentVariableW(L"PATH", saved_.data(), static_cast<DWORD>(saved_.size())));
    SetEnvironmentVariableW(L"PATH", value.c_str());
  }
  ScopedPath(const ScopedPath&) = delete;
  ScopedPath& operator=(const ScopedPath&) = delete;
  ~ScopedPath() { SetEnvironmentVariableW(L"PATH", saved_.c_str()); }

 private:
  std::wstring saved_;
};

enum Step { PluginMPlayer, PluginMpv, PluginVlc, InstalledVlc, PathMpv, PathMPlayer, Nothing };

}  // namespace

class PlayerFinding : public HostTest {
 protected:
  void TearDown() override {
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kVlcKey, view, 0);
    HostTest::TearDown();
  }

  // The players of |first| and of every later step; no reelpane.ini.
  void SetUpFrom(Step first, REGSAM registryView = KEY_WOW64_64KEY, bool installDirOnly = false) {
    for (const wchar_t* folder : {L"mplayer", L"mpv", L"vlc", L"VideoLAN VLC", L"on path 1", L"on path 2"}) {
      workspace_.MakeFolder(folder);
    }
    if (first <= PluginMPlayer) workspace_.InstallPlayer(L"mplayer\\mplayer.exe");
    if (first <= PluginMpv) workspace_.InstallPlayer(L"mpv\\mpv.exe");
    if (first <= PluginVlc) workspace_.InstallPlayer(L"vlc\\vlc.exe");
    if (first <= InstalledVlc) {
      const std::wstring vlc = workspace_.InstallPlayer(L"VideoLAN VLC\\vlc.exe");
      HKEY key = nullptr;
      ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kVlcKey, 0, nullptr, 0, KEY_SET_VALUE | registryView, nullptr,
                                &key, nullptr),
                ERROR_SUCCESS);
      const std::wstring value = installDirOnly ? JoinPath(workspace_.Folder(), L"VideoLAN VLC") : vlc;
      RegSetValueExW(key, installDirOnly ? L"InstallDir" : nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
      RegCloseKey(key);
    }
    std::wstring path;
    // In the PATH's order MPlayer's folder comes first: mpv is looked for first all the same.
    if (first <= PathMPlayer) path += JoinPath(workspace_.Folder(), L"on path 1") + L";";
    if (first <= PathMpv) path += L"\"" + JoinPath(workspace_.Folder(), L"on path 2") + L"\";";
    if (first <= PathMPlayer) workspace_.InstallPlayer(L"on path 1\\mplayer.exe");
    if (first <= PathMpv) workspace_.InstallPlayer(L"on path 2\\mpv.exe");
    path_.emplace(path + L"C:\\windows\\system32;C:\\windows");
    workspace_.LoadPlugin();
  }

  // The started program's command line, up to |dialect|'s first option, or the warning.
  std::wstring Started() {
    const OpenedView opened = workspace_.Open(lister_, kAnyPlayerScript);
    if (opened.View == nullptr) {
      const auto box = boxes_.Take();
      return box ? box->second : L"<no view>";
    }
    workspace_.Host().CloseWindow(opened.View);
    const std::wstring line = opened.Log.CommandLine();
    for (const wchar_t* first : {L" -quiet", L" --input-ipc-server=", L" --intf=dummy"}) {
      if (line.find(first) != std::wstring::npos) return line.substr(0, line.find(first) + wcslen(first));
    }
    return line;
  }

  std::wstring In(const std::wstring& name) const { return JoinPath(workspace_.Folder(), name); }

  std::optional<ScopedPath> path_;
};

TEST_F(PlayerFinding, FirstMPlayerInThePluginFolder) {
  SetUpFrom(PluginMPlayer);
  EXPECT_EQ(Started(), In(L"mplayer\\mplayer.exe") + L" -quiet");
}

TEST_F(PlayerFinding, ThenMpvInThePluginFolder) {
  SetUpFrom(PluginMpv);
  EXPECT_EQ(Started(), In(L"mpv\\mpv.exe") + L" --input-ipc-server=");
}

TEST_F(PlayerFinding, ThenVlcInThePluginFolder) {
  SetUpFrom(PluginVlc);
  EXPECT_EQ(Started(), In(L"vlc\\vlc.exe") + L" --intf=dummy");
}

TEST_F(PlayerFinding, ThenAnInstalledVlcInEitherRegistryView) {
  SetUpFrom(InstalledVlc, KEY_WOW64_64KEY);
  EXPECT_EQ(Started(), L"\"" + In(L"VideoLAN VLC\\vlc.exe") + L"\" --intf=dummy");
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kVlcKey, KEY_WOW64_64KEY, 0);
  // A 32-bit VLC's key, naming only its folder.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kVlcKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  const std::wstring folder = In(L"VideoLAN VLC");
  RegSetValueExW(key, L"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                 static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  EXPECT_EQ(Started(), L"\"" + In(L"VideoLAN VLC\\vlc.exe") + L"\" --intf=dummy");
}

TEST_F(PlayerFinding, ThenMpvOnThePath) {
  SetUpFrom(PathMpv);
  EXPECT_EQ(Started(), L"\"" + In(L"on path 2\\mpv.exe") + L"\" --input-ipc-server=");
}

TEST_F(PlayerFinding, ThenMPlayerOnThePath) {
  SetUpFrom(PathMPlayer);
  EXPECT_EQ(Started(), L"\"" + In(L"on path 1\\mplayer.exe") + L"\" -quiet");
}

TEST_F(PlayerFinding, NothingFoundSaysWhatWasLookedFor) {
  SetUpFrom(Nothing);
  EXPECT_EQ(Started(), kNoPlayerFoundWarning);
}

// A path that is set is used as set, even where none is there and others would be found.
TEST_F(PlayerFinding, ASetPathIsUsedAsSet) {
  workspace_.WriteSettings({{L"MPlayer_path", L"elsewhere\\mplayer.exe"}});
  SetUpFrom(PluginMPlayer);
  EXPECT_EQ(Started(), L"Cannot create process: " + In(L"elsewhere\\mplayer.exe"));
}
