// Settings that misbehave: empty keys, values at and past their limits,
// variables that don't fit or don't exist, paths that can't be started, and
// the file saved in every encoding an editor may choose. Each gives either a
// player started with the right command line or the warning and a null view.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "host_test.h"
#include "identify_checks.h"
#include "process_state.h"
#include "settings.h"
#include "settings_text.h"

namespace {

constexpr wchar_t kWarning[] = L"Cannot create process: ";

}  // namespace

class TortureSettings : public HostTest {
 protected:
  // What one ListLoadW came to: the player's command line up to " -quiet", or the warning.
  struct Outcome {
    std::optional<std::wstring> PlayerHead;
    std::optional<std::wstring> Warning;
    double Milliseconds = 0;
  };

  Outcome OpenOnce(const std::wstring& fileName = L"C:\\videos\\clip.avi") {
    if (!loaded_) workspace_.LoadPlugin();
    loaded_ = true;
    Outcome outcome;
    const Stopwatch stopwatch;
    const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480), fileName);
    outcome.Milliseconds = stopwatch.Milliseconds();
    if (opened.View != nullptr) {
      const std::wstring line = opened.Log.CommandLine();
      outcome.PlayerHead = line.substr(0, line.find(L" -quiet"));
      workspace_.Host().CloseWindow(opened.View);
    } else {
      EXPECT_FALSE(opened.Log.Started()) << "a null view leaves no player";
    }
    if (const auto box = boxes_.Take()) {
      EXPECT_EQ(box->first, L"reelpane");
      outcome.Warning = box->second;
    }
    EXPECT_NE(outcome.PlayerHead.has_value(), outcome.Warning.has_value()) << "a player or the warning";
    return outcome;
  }

  std::wstring InFolder(const std::wstring& name) const { return JoinPath(workspace_.Folder(), name); }

  void WriteRawSettings(const std::string& bytes) { WriteFileBytes(InFolder(L"reelpane.ini"), bytes); }

 private:
  bool loaded_ = false;
};

TEST_F(TortureSettings, EmptyKeysWarnWithAnEmptyPathAndLeaveTheCurrentDirectory) {
  workspace_.InstallPlayer();
  const std::wstring before = CurrentDirectory();
  workspace_.WriteSettings(
      {{L"MPlayer_path", L""}, {L"MPlayer_params", L""}, {L"View_Size", L""}, {L"MPlayer_path_x64", L""}});
  EXPECT_EQ(OpenOnce().Warning, kNoPlayerFoundWarning);
  // A key without "=", a value without a key, a key of blanks: none is the path.
  WriteRawSettings("[config]\r\nMPlayer_path\r\n=standin-player.exe\r\n   =standin-player.exe\r\n");
  EXPECT_EQ(OpenOnce().Warning, kNoPlayerFoundWarning);
  WriteRawSettings("");
  EXPECT_EQ(OpenOnce().Warning, kNoPlayerFoundWarning);
  EXPECT_EQ(CurrentDirectory(), before);
}

TEST_F(TortureSettings, ValuesOf2047CharactersAndMore) {
  for (const size_t length : {2047u, 2048u, 5000u}) {
    SCOPED_TRACE(length);
    const std::wstring name(length, L'n');
    workspace_.WriteSettings({{L"MPlayer_path", name}});
    EXPECT_EQ(OpenOnce().Warning, kWarning + InFolder(name.substr(0, 2047)));
  }
  // Parameters (quoted, to keep their leading blank) are cut alike; the command line takes them whole.
  workspace_.InstallPlayer();
  const std::wstring params = L" -" + std::wstring(3000, L'p');
  workspace_.WriteSettings({{L"MPlayer_path", L"standin-player.exe"}, {L"MPlayer_params", L"\"" + params + L"\""}});
  EXPECT_EQ(OpenOnce().PlayerHead, InFolder(L"standin-player.exe") + params.substr(0, 2047));
}

// The expansion has room for 3198 characters: one more, and the path is not used at all.
TEST_F(TortureSettings, VariableExpandingToTheEdgeOfItsBuffer) {
  workspace_.WriteSettings({{L"MPlayer_path", L"%REELPANE_TEST_LONG%"}});
  const std::wstring fits = L"C:\\" + std::wstring(3195, L'a');
  {
    ScopedVariable variable(L"REELPANE_TEST_LONG", fits);
    EXPECT_EQ(OpenOnce().Warning, kWarning + fits);
  }
  {
    ScopedVariable variable(L"REELPANE_TEST_LONG", fits + L"a");
    EXPECT_EQ(OpenOnce().Warning, kWarning);
  }
}

TEST_F(TortureSettings, UndefinedVariableStaysLiteral) {
  workspace_.MakeFolder(L"%REELPANE_NOPE%");
  const std::wstring player = workspace_.InstallPlayer(L"%REELPANE_NOPE%\\standin-player.exe");
  workspace_.WriteSettings({{L"MPlayer_path", L"%REELPANE_NOPE%\\standin-player.exe"}});
  EXPECT_EQ(OpenOnce().PlayerHead, player);
}

// No server answers here; the warning must come in a sane time (printed).
TEST_F(TortureSettings, UncPathWarnsWithoutHanging) {
  const std::wstring unc = L"\\\\server\\share\\mplayer.exe";
  workspace_.WriteSettings({{L"MPlayer_path", unc}});
  const Outcome outcome = OpenOnce();
  std::printf("UNC player path: warning after %.1f ms\n", outcome.Milliseconds);
  EXPECT_EQ(outcome.Warning, kWarning + unc);
  EXPECT_LT(outcome.Milliseconds, 30000.0);

  // As the 64-bit player it is looked for, not found, and passed over.
  const std::wstring player = workspace_.InstallPlayer();
  workspace_.WriteSettings({{L"MPlayer_path", L"standin-player.exe"}, {L"MPlayer_path_x64", unc}});
  const Outcome passedOver = OpenOnce();
  std::printf("UNC 64-bit player path: passed over after %.1f ms\n", passedOver.Milliseconds);
  EXPECT_EQ(passedOver.PlayerHead, player);
  EXPECT_LT(passedOver.Milliseconds, 30000.0);
}

TEST_F(TortureSettings, PathToAFolderWarns) {
  workspace_.MakeFolder(L"mplayer");
  workspace_.WriteSettings({{L"MPlayer_path", L"mplayer"}});
  EXPECT_EQ(OpenOnce().Warning, kWarning + InFolder(L"mplayer"));
  workspace_.WriteSettings({{L"MPlayer_path", L"mplayer\\"}});
  EXPECT_EQ(OpenOnce().Warning, kWarning + InFolder(L"mplayer\\"));
}

// The player in a folder whose name has a blank and letters beyond ASCII, with
// parameters beyond ASCII too: every encoding an editor may save in reads alike.
TEST_F(TortureSettings, EveryEncodingReadsTheSameLetters) {
  struct Case {
    SettingsEncoding Encoding;
    const char* Name;
    std::wstring Folder;
  };
  // Windows-1252, the ANSI code page here, holds ü but no Cyrillic.
  const std::vector<Case> cases = {
      {SettingsEncoding::Ansi, "ANSI", L"Wiedergabe f\u00fcr Filme"},
      {SettingsEncoding::Utf16, "UTF-16 with mark", L"\u043f\u043b\u0435\u0435\u0440 f\u00fcr \U0001F3AC"},
      {SettingsEncoding::Utf8WithBom, "UTF-8 with mark", L"\u043f\u043b\u0435\u0435\u0440 f\u00fcr \U0001F3AC"},
      {SettingsEncoding::Utf8, "UTF-8 without mark", L"\u043f\u043b\u0435\u0435\u0440 f\u00fcr \U0001F3AC"},
      {SettingsEncoding::Utf8, "UTF-8 without mark, ANSI letters only", L"Wiedergabe f\u00fcr Filme"},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.Name);
    workspace_.MakeFolder(each.Folder);
    const std::wstring player = workspace_.InstallPlayer(each.Folder + L"\\standin-player.exe");
    const std::wstring params = L" -title \u00e9t\u00e9";
    workspace_.WriteSettings({{L"MPlayer_path", each.Folder + L"\\standin-player.exe"},
                              {L"MPlayer_params", L"\"" + params + L"\""},
                              {L"View_Size", L"normal"}},
                             each.Encoding);
    const Outcome outcome = OpenOnce();
    EXPECT_EQ(outcome.PlayerHead, L"\"" + player + L"\"" + params)
        << "warning: " << Utf8(outcome.Warning.value_or(L"none"));
  }
}

// A UTF-8 file is read by our own rules; for text both can read they must agree
// with the platform's on every quirk of the format.
TEST(SettingsText, OwnReadingAgreesWithTheProfileFunctions) {
  TestWorkspace workspace;
  int number = 0;
  const std::vector<std::string> texts = {
      "[config]\r\nMPlayer_path=a.exe\r\n",
      "[config]\nMPlayer_path=a.exe",
      "  [config]  \r\n  MPlayer_path  =  a b.exe  \r\n",
      "[CONFIG]\r\nmplayer_PATH=a.exe\r\n",
      "[ config ]\r\nMPlayer_path=a.exe\r\n",
      "[config]\r\nMPlayer_path=\"a.exe\"\r\n",
      "[config]\r\nMPlayer_path='a.exe'\r\n",
      "[config]\r\nMPlayer_path=\"a.exe'\r\n",
      "[config]\r\nMPlayer_path=\"\r\n",
      "[config]\r\nMPlayer_path=\"\"\r\n",
      "[config]\r\nMPlayer_path=\" a.exe \" \r\n",
      "[config]\r\nMPlayer_path=a=b.exe\r\n",
      "[config]\r\nMPlayer_path\r\n",
      "[config]\r\nMPlayer_path\r\nMPlayer_path=a.exe\r\n",
      "[config]\r\nMPlayer_path=first.exe\r\nMPlayer_path=second.exe\r\n",
      "[config]\r\n[config]\r\nMPlayer_path=a.exe\r\n",
      "[config]\r\nother=1\r\n[config]\r\nMPlayer_path=second.exe\r\n",
      "[other]\r\nMPlayer_path=other.exe\r\n[config]\r\nMPlayer_path=a.exe\r\n",
      "MPlayer_path=before.exe\r\n[config]\r\n",
      "[config\r\nMPlayer_path=a.exe\r\n",
      "[config]]\r\nMPlayer_path=a.exe\r\n",
      "[config]x\r\nMPlayer_path=a.exe\r\n",
      "[config]\r\n;MPlayer_path=a.exe\r\n",
      "[config]\r\n\tMPlayer_path\t=\ta.exe\t\r\n",
      "[config]\r\nMPlayer_path=a.exe\x1a\r\n",
      "[config]\rMPlayer_path=a.exe\r\n",
      "[config]\r\n\r\n\r\nMPlayer_path=a.exe\r\n[next]\r\n",
      "[config]\r\nMPlayer_path = \r\n",
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    // A file of its own for each: the platform may keep a file it has read.
    const std::wstring file = JoinPath(workspace.Folder(), L"agree-" + std::to_wstring(++number) + L".ini");
    WriteFileBytes(file, text);
    wchar_t platform[2048] = {};
    GetPrivateProfileStringW(L"config", L"MPlayer_path", L"<default>", platform, 2048, file.c_str());
    const std::optional<std::wstring> own = FindIniValue(FromUtf8(text), L"config", L"MPlayer_path");
    EXPECT_EQ(Utf8(own.value_or(L"<default>")), Utf8(platform));
  }
}
