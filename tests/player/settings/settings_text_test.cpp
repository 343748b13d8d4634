#include "settings_text.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

TEST(SettingsTextEncoding, Utf8ByItsMarkOrByValidBytesBeyondAscii) {
  EXPECT_TRUE(IsUtf8SettingsText("\xEF\xBB\xBF[config]\r\n"));
  EXPECT_TRUE(IsUtf8SettingsText("\xEF\xBB\xBF"));
  EXPECT_TRUE(IsUtf8SettingsText("MPlayer_path=C:\\f\xC3\xBCr\\mplayer.exe\r\n"));         // ü
  EXPECT_TRUE(IsUtf8SettingsText("MPlayer_path=C:\\\xD0\xBF\xD0\xBB\\\xF0\x9F\x8E\xAC"));  // пл, an emoji
  EXPECT_TRUE(IsUtf8SettingsText("\xE2\x82\xAC\xEF\xBF\xBD\xF4\x8F\xBF\xBF"));             // €, U+FFFD, U+10FFFF
}

TEST(SettingsTextEncoding, AsciiAnsiAndUtf16AreLeftToTheProfileFunctions) {
  EXPECT_FALSE(IsUtf8SettingsText(""));
  EXPECT_FALSE(IsUtf8SettingsText("[config]\r\nMPlayer_path=mplayer.exe\r\n"));
  EXPECT_FALSE(IsUtf8SettingsText("MPlayer_path=C:\\f\xFCr\\mplayer.exe"));  // ANSI ü
  EXPECT_FALSE(IsUtf8SettingsText("\xFF\xFE[\0c\0"s));                      // UTF-16 with its mark
  EXPECT_FALSE(IsUtf8SettingsText("\xFE\xFF\0[\0c"s));
  // Not UTF-8: overlong forms, surrogates, beyond U+10FFFF, stray or missing continuations.
  for (const std::string& bad : {"\xC0\xAF"s, "\xC1\xBF"s, "\xE0\x80\xAF"s, "\xF0\x80\x80\xAF"s, "\xED\xA0\x80"s,
                                 "\xF4\x90\x80\x80"s, "\xF5\x80\x80\x80"s, "\x80"s, "\xC3"s, "\xE2\x82"s,
                                 "\xC3\x28"s, "\xE2\x28\xAC"s, "\xF0\x9F\x8E"s}) {
    EXPECT_FALSE(IsUtf8SettingsText("a=" + bad + "\r\n")) << testing::PrintToString(bad);
  }
}

TEST(SettingsTextValue, LettersBeyondAsciiComeThroughAndNamesIgnoreOnlyAsciiCase) {
  const std::wstring path = L"C:\\\u043f\u043b\u0435\u0435\u0440 \U0001F3AC\\mplayer.exe";  // C:\плеер 🎬\mplayer.exe
  const std::wstring text = L"[Config]\r\nmplayer_path = \"" + path + L"\" \r\n\u00c4=upper\r\n";
  EXPECT_EQ(FindIniValue(text, L"config", L"MPlayer_path"), path);
  EXPECT_EQ(FindIniValue(text, L"config", L"\u00c4"), L"upper");
  EXPECT_EQ(FindIniValue(text, L"config", L"\u00e4"), std::nullopt);
  EXPECT_EQ(FindIniValue(text, L"other", L"MPlayer_path"), std::nullopt);
  EXPECT_EQ(FindIniValue(L"[config]\r\nMPlayer_params=\" " + std::wstring(5000, L'p') + L"\"", L"config",
                         L"MPlayer_params")->size(),
            5001u)
      << "cut by the caller, not here";
}

TEST(PluginFolderPath, RelativePathsGoWhereThePluginFolderAsCurrentDirectoryWouldPutThem) {
  const std::wstring folder = L"D:\\tc\\plugins\\";
  EXPECT_EQ(AnchorAtFolder(L"mplayer.exe", folder), L"D:\\tc\\plugins\\mplayer.exe");
  EXPECT_EQ(AnchorAtFolder(L"..\\mplayer\\mplayer.exe", folder), L"D:\\tc\\plugins\\..\\mplayer\\mplayer.exe");
  EXPECT_EQ(AnchorAtFolder(L"\\mplayer\\mplayer.exe", folder), L"D:\\mplayer\\mplayer.exe");
  EXPECT_EQ(AnchorAtFolder(L"/mplayer/mplayer.exe", folder), L"D:/mplayer/mplayer.exe");
  EXPECT_EQ(AnchorAtFolder(L"d:mplayer.exe", folder), L"D:\\tc\\plugins\\mplayer.exe");
  // Left to the system: absolute paths, and another drive's own current folder.
  for (const wchar_t* path : {L"C:\\mplayer.exe", L"c:/mplayer.exe", L"\\\\server\\share\\mplayer.exe",
                              L"\\\\?\\C:\\mplayer.exe", L"C:mplayer.exe"}) {
    EXPECT_EQ(AnchorAtFolder(path, folder), path);
  }
  // A plugin folder on a share: its root is the share.
  EXPECT_EQ(AnchorAtFolder(L"\\mplayer.exe", L"\\\\server\\share\\tc\\"), L"\\\\server\\share\\mplayer.exe");
  EXPECT_EQ(AnchorAtFolder(L"\\mplayer.exe", L"\\\\?\\UNC\\server\\share\\tc\\"),
            L"\\\\?\\UNC\\server\\share\\mplayer.exe");
  EXPECT_EQ(AnchorAtFolder(L"mplayer.exe", L"\\\\server\\share\\tc\\"), L"\\\\server\\share\\tc\\mplayer.exe");
}
