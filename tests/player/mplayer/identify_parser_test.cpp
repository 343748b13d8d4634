#include "identify_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace std::string_literals;

namespace {

// One entry per read; "<fail>" stands for a read that fails (the pipe ended).
VideoSize Parse(const std::vector<std::string>& reads, int* readsTaken = nullptr) {
  IdentifyParser parser;
  int taken = 0;
  for (const std::string& read : reads) {
    if (!parser.WantsMoreOutput()) break;
    ++taken;
    if (read == "<fail>") parser.OnReadFailed();
    else parser.OnRead(read);
  }
  if (parser.WantsMoreOutput()) parser.OnReadFailed();  // the player has gone: the pipe ends
  if (parser.WantsMoreOutput()) parser.OnReadFailed();
  if (readsTaken != nullptr) *readsTaken = taken;
  return parser.Result();
}

const std::string kFileLine = "ID_FILENAME=C:\\v\\clip.avi\n";

}  // namespace

TEST(IdentifyParser, SizeLinesAfterTheFileLine) {
  EXPECT_EQ(Parse({kFileLine, "ID_VIDEO_WIDTH=640\nID_VIDEO_HEIGHT=480\nID_LENGTH=12.00\n"}), (VideoSize{640, 480}));
  EXPECT_EQ(Parse({"ID_FILENAME=a\r\n", "ID_VIDEO_WIDTH=640\r\nID_VIDEO_HEIGHT=480\r\nID_LENGTH=1\r\n"}),
            (VideoSize{640, 480}));
}

TEST(IdentifyParser, ExitLineInTheFirstStageRejectsTheFile) {
  EXPECT_EQ(Parse({"ID_EXIT=EOF\n" + kFileLine}), (VideoSize{-1, -1}));
  EXPECT_EQ(Parse({"ID_EXIT=EOF\n", kFileLine}), (VideoSize{-1, -1}));
  // Size lines still count after an exit line: a width alone leaves the height rejected.
  EXPECT_EQ(Parse({"ID_EXIT=EOF\n" + kFileLine, "ID_VIDEO_WIDTH=320\nID_LENGTH=1\n"}), (VideoSize{320, -1}));
  EXPECT_EQ(Parse({"ID_EXIT=EOF\n" + kFileLine, "ID_VIDEO_WIDTH=320\nID_VIDEO_HEIGHT=200\nID_LENGTH=1\n"}),
            (VideoSize{320, 200}));
}

TEST(IdentifyParser, ExitLineFirstSeenInTheSecondStageHasNoEffect) {
  EXPECT_EQ(Parse({kFileLine, "ID_EXIT=EOF\n"}), (VideoSize{0, 0}));
}

TEST(IdentifyParser, NoIdentificationMeansNoSize) {
  EXPECT_EQ(Parse({"MPlayer 1.5 (C) 2000-2023 MPlayer Team\n", "Playing clip.avi.\n"}), (VideoSize{0, 0}));
  EXPECT_EQ(Parse({}), (VideoSize{0, 0}));
}

TEST(IdentifyParser, HeightBeforeWidthIsNotFound) {
  EXPECT_EQ(Parse({kFileLine, "ID_VIDEO_HEIGHT=480\nID_VIDEO_WIDTH=640\nID_LENGTH=1\n"}), (VideoSize{640, 0}));
  EXPECT_EQ(Parse({"ID_EXIT=EOF\n" + kFileLine, "ID_VIDEO_HEIGHT=480\nID_VIDEO_WIDTH=640\nID_LENGTH=1\n"}),
            (VideoSize{640, -1}));
}

TEST(IdentifyParser, ValueWithoutLineFeedIsZero) {
  EXPECT_EQ(Parse({kFileLine, "ID_VIDEO_WIDTH=640"}), (VideoSize{0, 0}));
}

TEST(IdentifyParser, FileMarkerSplitAcrossReadsDoesNotEndTheFirstStage) {
  int reads = 0;
  // The first stage goes on through the split marker and ends at the next whole one;
  // the split text still counts, so an exit line before it is seen.
  EXPECT_EQ(Parse({"ID_EXIT=EOF\nID_FILE", "NAME=a\n", "ID_FILENAME=a\n", "ID_LENGTH=1\n", "never read"}, &reads),
            (VideoSize{-1, -1}));
  EXPECT_EQ(reads, 4);
}

TEST(IdentifyParser, ZeroByteCutsTheRestOfItsRead) {
  const std::string withZero = "ID_VIDEO_WIDTH=640\n\0ID_FILENAME=a\n"s;
  int reads = 0;
  EXPECT_EQ(Parse({withZero, kFileLine + "\0ID_LENGTH=1\n"s, "ID_VIDEO_HEIGHT=480\n", "ID_LENGTH=1\n"},
                  &reads),
            (VideoSize{640, 480}));
  EXPECT_EQ(reads, 4);  // neither marker behind a zero byte counted
}

TEST(IdentifyParser, EmptyReadEndsTheStage) {
  int reads = 0;
  EXPECT_EQ(Parse({"", "", "ID_VIDEO_WIDTH=1\n"}, &reads), (VideoSize{0, 0}));
  EXPECT_EQ(reads, 2);
  // A read of only zero bytes is not empty: the stage goes on.
  EXPECT_EQ(Parse({"\0\0"s, kFileLine, "ID_VIDEO_WIDTH=8\nID_VIDEO_HEIGHT=6\nID_LENGTH=1\n"}, &reads),
            (VideoSize{8, 6}));
  EXPECT_EQ(reads, 3);
}

TEST(IdentifyParser, FileAndLengthLinesInOneReadEndIdentification) {
  int reads = 0;
  EXPECT_EQ(Parse({kFileLine + "ID_VIDEO_WIDTH=320\nID_VIDEO_HEIGHT=240\nID_LENGTH=3.00\n", "not waited for"}, &reads),
            (VideoSize{320, 240}));
  EXPECT_EQ(reads, 1);
}

TEST(IdentifyParser, BoundReachedKeepsWhatWasRead) {
  IdentifyParser parser;
  parser.OnRead(kFileLine + "ID_VIDEO_WIDTH=640\nID_VIDEO_HEIGHT=360\n");
  ASSERT_TRUE(parser.WantsMoreOutput());
  parser.OnBoundReached();
  EXPECT_FALSE(parser.WantsMoreOutput());
  EXPECT_EQ(parser.Result(), (VideoSize{640, 360}));

  IdentifyParser rejected;
  rejected.OnRead("ID_EXIT=EOF\n");
  rejected.OnBoundReached();
  EXPECT_EQ(rejected.Result(), (VideoSize{-1, -1}));
}

TEST(IdentifyParser, AccumulatedTextIsCapped) {
  IdentifyParser parser;
  const std::string flood(IdentifyParser::kReadSize, 'A');
  for (size_t i = 0; i < 2 * IdentifyParser::kTextCap / flood.size(); ++i) parser.OnRead(flood);
  EXPECT_EQ(parser.Text().size(), IdentifyParser::kTextCap);
  EXPECT_TRUE(parser.WantsMoreOutput());
  parser.OnRead(kFileLine);  // markers are still seen once the cap is reached
  parser.OnRead("ID_LENGTH=1\n");
  EXPECT_FALSE(parser.WantsMoreOutput());
}

TEST(IdentifyNumber, DecimalAndHexadecimalWithSigns) {
  EXPECT_EQ(ParseIdentifyNumber("640\n"), 640);
  EXPECT_EQ(ParseIdentifyNumber("640\r\n"), 640);
  EXPECT_EQ(ParseIdentifyNumber(""), 0);
  EXPECT_EQ(ParseIdentifyNumber("   42\n"), 42);
  EXPECT_EQ(ParseIdentifyNumber("\t42\n"), 0);  // only blanks are skipped
  EXPECT_EQ(ParseIdentifyNumber("-17\n"), -17);
  EXPECT_EQ(ParseIdentifyNumber("+17\n"), 17);
  EXPECT_EQ(ParseIdentifyNumber("--17\n"), 0);
  EXPECT_EQ(ParseIdentifyNumber("$ff\n"), 255);
  EXPECT_EQ(ParseIdentifyNumber("x1A\n"), 26);
  EXPECT_EQ(ParseIdentifyNumber("X1a\n"), 26);
  EXPECT_EQ(ParseIdentifyNumber("0x10\n"), 16);
  EXPECT_EQ(ParseIdentifyNumber("0X10\n"), 16);
  EXPECT_EQ(ParseIdentifyNumber("-0x7fffffff\n"), -0x7fffffff);
  EXPECT_EQ(ParseIdentifyNumber("0x\n"), 0);
  EXPECT_EQ(ParseIdentifyNumber("012\n"), 12);
  EXPECT_EQ(ParseIdentifyNumber("12abc\n"), 12);
  EXPECT_EQ(ParseIdentifyNumber("abc\n"), 0);
  EXPECT_EQ(ParseIdentifyNumber("99999999999\n"), 99999999999);
  // Past 64 bits the value wraps instead of overflowing.
  EXPECT_EQ(ParseIdentifyNumber("18446744073709551617\n"), 1);
}

TEST(IdentifyNumber, SizesKeepTheLow32Bits) {
  EXPECT_EQ(ExtractVideoSize("ID_VIDEO_WIDTH=99999999999\nID_VIDEO_HEIGHT=4294967297\n", {}),
            (VideoSize{static_cast<std::int32_t>(99999999999 & 0xFFFFFFFF), 1}));
  EXPECT_EQ(ExtractVideoSize("ID_VIDEO_WIDTH=-0x7fffffff\nID_VIDEO_HEIGHT=0xffffffff\n", {}),
            (VideoSize{-0x7fffffff, -1}));
}
