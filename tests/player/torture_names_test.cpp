// File names the host may hand us reach the player's command line intact:
// blanks, letters outside the ANSI code page, characters outside the BMP, and
// names longer than MAX_PATH.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "host_test.h"

namespace {

std::wstring Quoted(const std::wstring& name) {
  return name.find(L' ') == std::wstring::npos ? name : L"\"" + name + L"\"";
}

}  // namespace

class TortureFileName : public HostTest {
 protected:
  // Opens |name| and checks that the command line ends in it, exactly.
  void ExpectIntact(const std::wstring& name) {
    const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480), name);
    ASSERT_NE(opened.View, nullptr);
    const std::wstring expected = JoinPath(workspace_.Folder(), L"standin-player.exe") +
                                  L" -quiet -slave -identify -keepaspect -wid " +
                                  HandleText(opened.View) +
                                  L" -colorkey 0x101010 " + Quoted(name);
    EXPECT_EQ(Utf8(opened.Log.CommandLine()), Utf8(expected));
    workspace_.Host().CloseWindow(opened.View);
  }
};

TEST_F(TortureFileName, Blanks) {
  LoadWithDefaultSettings();
  ExpectIntact(L"C:\\my videos\\a  clip  with double blanks .mkv");
  ExpectIntact(L"C:\\videos\\ leading blank.avi");
  ExpectIntact(L"C:\\videos\\tab\there.avi");  // a tab is no blank: not quoted
}

TEST_F(TortureFileName, CyrillicAndCjk) {
  LoadWithDefaultSettings();
  ExpectIntact(L"C:\\\u0432\u0438\u0434\u0435\u043e\\\u043a\u043b\u0438\u043f.avi");          // видео\клип
  ExpectIntact(L"C:\\\u52d5\u753b\\\u6620\u50cf \u30af\u30ea\u30c3\u30d7.mp4");                // 動画\映像 クリップ
  ExpectIntact(L"D:\\\u05e1\u05e8\u05d8\u05d9\u05dd\\\u0645\u0642\u0637\u0639 \u00fc\u00df.mkv");  // right-to-left, ü ß
}

TEST_F(TortureFileName, CharactersOutsideTheBasicPlane) {
  LoadWithDefaultSettings();
  ExpectIntact(L"C:\\videos\\\U0001F3AC party \U0001F389.mkv");
  ExpectIntact(L"C:\\videos\\\U00020BB7\U0002A6A5.mp4");  // CJK extension B
}

TEST_F(TortureFileName, LongerThanMaxPath) {
  LoadWithDefaultSettings();
  std::wstring folder = L"C:\\videos";
  while (folder.size() < 300) folder += L"\\a folder with a long name " + std::to_wstring(folder.size());
  ExpectIntact(folder + L"\\clip.avi");
  ExpectIntact(L"\\\\?\\" + folder + L"\\\u043a\u043b\u0438\u043f \U0001F3AC.mkv");
  ExpectIntact(L"C:\\videos\\" + std::wstring(2000, L'x') + L".mp4");
}
