#include "command_line.h"
#include "mplayer_dialect.h"

#include <gtest/gtest.h>

TEST(QuoteIfSpaced, QuotesOnlyTextWithABlank) {
  EXPECT_EQ(QuoteIfSpaced(L"C:\\mplayer\\mplayer.exe"), L"C:\\mplayer\\mplayer.exe");
  EXPECT_EQ(QuoteIfSpaced(L"C:\\Program Files\\mplayer.exe"), L"\"C:\\Program Files\\mplayer.exe\"");
  EXPECT_EQ(QuoteIfSpaced(L""), L"");
  EXPECT_EQ(QuoteIfSpaced(L"tab\there"), L"tab\there");           // only U+0020 counts
  EXPECT_EQ(QuoteIfSpaced(L"say \"hi\""), L"\"say \"hi\"\"");     // inner quotes stay as they are
}

TEST(ViewHandleText, BothBuildsWriteTheirOwnForm) {
  EXPECT_EQ(ViewHandleTextSigned64(0x30062), L"196706");
  EXPECT_EQ(ViewHandleTextUnsigned32(0x30062), L"196706");
  // A handle with its top bit set: negative in the 64-bit build, large in the 32-bit one.
  EXPECT_EQ(ViewHandleTextSigned64(static_cast<std::int64_t>(0xFFFFFFFF80000010ull)), L"-2147483632");
  EXPECT_EQ(ViewHandleTextUnsigned32(0x80000010u), L"2147483664");
  EXPECT_EQ(ViewHandleTextUnsigned32(0xFFFFFFFFu), L"4294967295");
  EXPECT_EQ(ViewHandleText(0x1234), L"4660");
}

TEST(PlayerCommandLine, EightPiecesInOrder) {
  const std::wstring handle = L"4660";
  EXPECT_EQ(ComposePlayerCommandLine({L"C:\\mp\\mplayer.exe", L"", false, handle, L"C:\\v\\a.avi"}),
            L"C:\\mp\\mplayer.exe -quiet -slave -identify -keepaspect -wid 4660 -colorkey 0x101010 C:\\v\\a.avi");
  EXPECT_EQ(ComposePlayerCommandLine({L"C:\\mp\\mplayer.exe", L"", true, handle, L"C:\\v\\a.avi"}),
            L"C:\\mp\\mplayer.exe -quiet -slave -identify -wid 4660 -colorkey 0x101010 C:\\v\\a.avi");
  EXPECT_EQ(ComposePlayerCommandLine({L"C:\\my player\\mplayer.exe", L" -vo gl", true, handle, L"C:\\my v\\a b.avi"}),
            L"\"C:\\my player\\mplayer.exe\" -vo gl -quiet -slave -identify -wid 4660 -colorkey 0x101010 "
            L"\"C:\\my v\\a b.avi\"");
  // Parameters without a leading blank run straight on from the path.
  EXPECT_EQ(ComposePlayerCommandLine({L"mplayer.exe", L"-fs", true, handle, L"a.avi"}),
            L"mplayer.exe-fs -quiet -slave -identify -wid 4660 -colorkey 0x101010 a.avi");
  EXPECT_EQ(ComposePlayerCommandLine({L"", L"", true, handle, L"a.avi"}),
            L" -quiet -slave -identify -wid 4660 -colorkey 0x101010 a.avi");
}
