#include "frame_command.h"
#include "mplayer_outdir.h"
#include "mpv_dialect.h"

#include <gtest/gtest.h>

namespace {

const FrameLaunch kLaunch{L"C:\\mp\\mplayer.exe", L"", L"C:\\v\\a.avi", L"C:\\Temp\\reelpane-8-1"};

}  // namespace

TEST(FrameCommandLine, MPlayerProbesThenWritesOneFrameAtTheDisplayShape) {
  EXPECT_EQ(MPlayerProbeCommandLine(kLaunch),
            L"C:\\mp\\mplayer.exe -quiet -identify -nosound -vo null -frames 0 C:\\v\\a.avi");
  EXPECT_EQ(MPlayerFrameCommandLine(kLaunch, 14),
            L"C:\\mp\\mplayer.exe -quiet -nosound -ss 1.4 -frames 1 -vf-add scale=0:0 "
            L"-vo png:outdir=%20%C:\\Temp\\reelpane-8-1 C:\\v\\a.avi");
  EXPECT_EQ(MPlayerFrameCommandLine(kLaunch, 100),
            L"C:\\mp\\mplayer.exe -quiet -nosound -ss 10 -frames 1 -vf-add scale=0:0 "
            L"-vo png:outdir=%20%C:\\Temp\\reelpane-8-1 C:\\v\\a.avi");
  EXPECT_EQ(MPlayerFrameCommandLine(kLaunch, 0),
            L"C:\\mp\\mplayer.exe -quiet -nosound -frames 1 -vf-add scale=0:0 "
            L"-vo png:outdir=%20%C:\\Temp\\reelpane-8-1 C:\\v\\a.avi");
}

TEST(FrameCommandLine, MpvWritesOneFrameATenthInWithoutTheUsersConfiguration) {
  EXPECT_EQ(MpvFrameCommandLine(kLaunch),
            L"C:\\mp\\mplayer.exe --no-config --no-terminal --audio=no --ao=null --sid=no --start=10% --frames=1 "
            L"--vo=image --vo-image-format=png --vo-image-png-compression=0 "
            L"--vo-image-outdir=C:\\Temp\\reelpane-8-1 C:\\v\\a.avi");
}

TEST(FrameCommandLine, ParametersBlanksAndLettersBeyondAscii) {
  const FrameLaunch spaced{L"C:\\my mp\\mpv.exe", L" -v", L"C:\\my v\\\u00fc b.mkv", L"C:\\Temp\\J\u00fcrgen x\\r-1"};
  EXPECT_EQ(MPlayerFrameCommandLine(spaced, 0),
            L"\"C:\\my mp\\mpv.exe\" -v -quiet -nosound -frames 1 -vf-add scale=0:0 -vo "
            L"\"png:outdir=%21%C:\\Temp\\J\u00fcrgen x\\r-1\" \"C:\\my v\\\u00fc b.mkv\"");
  EXPECT_EQ(MpvFrameCommandLine(spaced),
            L"\"C:\\my mp\\mpv.exe\" -v --no-config --no-terminal --audio=no --ao=null --sid=no --start=10% --frames=1 "
            L"--vo=image --vo-image-format=png --vo-image-png-compression=0 "
            L"\"--vo-image-outdir=C:\\Temp\\J\u00fcrgen x\\r-1\" \"C:\\my v\\\u00fc b.mkv\"");
}

// MPlayer counts a quoted value in the bytes of its UTF-8 command line.
TEST(MPlayerSubOption, QuotedByItsLengthInUtf8AndFoundAgain) {
  EXPECT_EQ(QuoteMPlayerSubOption(L"C:\\a:b"), L"%6%C:\\a:b");
  EXPECT_EQ(QuoteMPlayerSubOption(L"\u00fc\u20ac\U0001F3AC"), L"%9%\u00fc\u20ac\U0001F3AC");  // 2 + 3 + 4 bytes
  EXPECT_EQ(QuoteMPlayerSubOption(L""), L"%0%");
  for (const std::wstring folder : {L"C:\\Temp\\r-1", L"D:\\J\u00fcrgen:\U0001F3AC\\x", L"\\\\srv\\share\\t"}) {
    const std::wstring argument = L"png:outdir=" + QuoteMPlayerSubOption(folder) + L":z=1";
    const std::optional<MPlayerOutdir> found = FindMPlayerOutdir(argument);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->Folder, folder);
    EXPECT_EQ(argument.substr(found->Offset, found->Length), QuoteMPlayerSubOption(folder));
  }
  EXPECT_EQ(FindMPlayerOutdir(L"png:z=1:outdir=frames:prefix=x")->Folder, L"frames");
  EXPECT_EQ(FindMPlayerOutdir(L"png"), std::nullopt);
  EXPECT_EQ(FindMPlayerOutdir(L"png:outdir=%9%short"), std::nullopt) << "fewer bytes than it says";
  EXPECT_EQ(FindMPlayerOutdir(L"png:outdir=%1%\u00fc"), std::nullopt) << "a character cut in two";
}

// "FOLDER/00000001.png" must fit MPlayer's 100 bytes with their NUL.
TEST(MPlayerSubOption, OnlyFoldersInAsciiThatLeaveRoomForTheImagesName) {
  EXPECT_TRUE(MPlayerCanWriteInto(L"C:\\Users\\jo\\AppData\\Local\\Temp\\reelpane-4242-17"));
  EXPECT_TRUE(MPlayerCanWriteInto(std::wstring(86, L'x')));
  EXPECT_FALSE(MPlayerCanWriteInto(std::wstring(87, L'x')));  // Debian's mplayer cuts this one
  EXPECT_FALSE(MPlayerCanWriteInto(L"C:\\Users\\J\u00fcrgen\\AppData\\Local\\Temp\\reelpane-4242-17"));
}

TEST(FrameProbe, VideoAndLengthFromTheIdentifyLines) {
  const ProbedVideo video = ReadProbeOutput("ID_VIDEO_WIDTH=640\nID_VIDEO_HEIGHT=360\nID_LENGTH=14.42\nID_EXIT=EOF\n");
  EXPECT_TRUE(video.HasVideo);
  EXPECT_EQ(video.LengthSeconds, 14);
  EXPECT_FALSE(ReadProbeOutput("ID_AUDIO_ID=0\nID_LENGTH=2.00\nID_EXIT=EOF\n").HasVideo) << "audio alone";
  EXPECT_FALSE(ReadProbeOutput("ID_EXIT=EOF\n").HasVideo) << "nothing it can play";
  EXPECT_FALSE(ReadProbeOutput("ID_VIDEO_WIDTH=640\n").HasVideo) << "no height";
  EXPECT_EQ(ReadProbeOutput("ID_VIDEO_WIDTH=640\nID_VIDEO_HEIGHT=360\n").LengthSeconds, 0) << "unknown";
  EXPECT_EQ(ReadProbeOutput("ID_LENGTH=-5.00\n").LengthSeconds, 0);
  EXPECT_EQ(ReadProbeOutput("ID_LENGTH=99999999999999\n").LengthSeconds, 0) << "no length at all";
}

TEST(FrameProbe, ATenthInUnlessShortOrOfUnknownLength) {
  EXPECT_EQ(FrameSeekTenths(0), 0);
  EXPECT_EQ(FrameSeekTenths(2), 0);
  EXPECT_EQ(FrameSeekTenths(3), 3);      // 0.3 s
  EXPECT_EQ(FrameSeekTenths(14), 14);    // 1.4 s
  EXPECT_EQ(FrameSeekTenths(100), 100);  // 10 s
  EXPECT_EQ(FrameSeekTenths(7200), 7200);
}
