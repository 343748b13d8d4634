// Which player the settings name: the "Player" setting, else the program's name.
#include "players.h"

#include <gtest/gtest.h>

#include <string>

TEST(PlayerChoice, TheSettingDecidesElseTheProgramsName) {
  EXPECT_EQ(ChoosePlayer(L"mpv", L"C:\\players\\mplayer.exe").Name, L"mpv");
  EXPECT_EQ(ChoosePlayer(L"mplayer", L"C:\\players\\mpv.exe").Name, L"mplayer");
  EXPECT_EQ(ChoosePlayer(L"", L"C:\\players\\MPV.EXE").Name, L"mpv");
  EXPECT_EQ(ChoosePlayer(L"", L"mpv.exe").Name, L"mpv");
  // mpv's console launcher.
  EXPECT_EQ(ChoosePlayer(L"", L"C:\\mpv\\mpv.com").Name, L"mpv");
  EXPECT_EQ(ChoosePlayer(L"", L"C:\\mpv\\MPV.COM").Name, L"mpv");
  // Any other value counts as none, the words included in another letter case.
  EXPECT_EQ(ChoosePlayer(L"MPV", L"C:\\mpv\\Mpv.Exe").Name, L"mpv");
  EXPECT_EQ(ChoosePlayer(L"wmp", L"C:\\mpv\\mplayer.exe").Name, L"mplayer");
  // VLC, by the setting or by its program's name.
  EXPECT_EQ(ChoosePlayer(L"vlc", L"C:\\mpv\\mplayer.exe").Name, L"vlc");
  EXPECT_EQ(ChoosePlayer(L"", L"C:\\Program Files\\VideoLAN\\VLC\\VLC.EXE").Name, L"vlc");
  for (const wchar_t* path : {L"", L"C:\\mpv\\", L"C:\\mpv\\mpv.cmd", L"C:\\mpv\\xmpv.exe", L"C:\\mpv.exe\\mplayer.exe"}) {
    EXPECT_EQ(ChoosePlayer(L"", path).Name, L"mplayer") << testing::PrintToString(std::wstring(path));
  }
}
