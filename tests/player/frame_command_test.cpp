#include "frame_command.h"
#include "mpv_dialect.h"

#include <gtest/gtest.h>

namespace {

const FrameLaunch kLaunch{L"C:\\mp\\mplayer.exe", L"", L"C:\\v\\a.avi", L"C:\\Temp\\reelpane-8-1", 160, 120};
const ProbedVideo kLarger{true, 640, 360, 100};
const ProbedVideo kSmaller{true, 160, 90, 100};

}  // namespace

// After the user's parameters: the options that end MPlayer after its frame. The
// frame is scaled to fit the box when the video is stored larger; the image goes
// into MPlayer's current folder.
TEST(FrameCommandLine, MPlayerProbesThenWritesOneFrameFittedToTheBox) {
  EXPECT_EQ(MPlayerProbeCommandLine(kLaunch),
            L"C:\\mp\\mplayer.exe -noidle -loop 1 -quiet -identify -nosound -vo null -frames 0 C:\\v\\a.avi");
  EXPECT_EQ(MPlayerFrameCommandLine(kLaunch, 14, kLarger),
            L"C:\\mp\\mplayer.exe -noidle -loop 1 -quiet -nosound -noslices -sws 5 -ss 1.4 -frames 1 "
            L"-vf-add dsize=160:120:0,scale=0:0 -vo png C:\\v\\a.avi");
  EXPECT_EQ(MPlayerFrameCommandLine(kLaunch, 100, kLarger),
            L"C:\\mp\\mplayer.exe -noidle -loop 1 -quiet -nosound -noslices -sws 5 -ss 10 -frames 1 "
            L"-vf-add dsize=160:120:0,scale=0:0 -vo png C:\\v\\a.avi");
  // Stored within the box: never enlarged, only given its display shape.
  EXPECT_EQ(MPlayerFrameCommandLine(kLaunch, 0, kSmaller),
            L"C:\\mp\\mplayer.exe -noidle -loop 1 -quiet -nosound -noslices -sws 5 -frames 1 -vf-add scale=0:0 "
            L"-vo png C:\\v\\a.avi");
  const std::wstring wider = MPlayerFrameCommandLine(kLaunch, 0, ProbedVideo{true, 161, 90, 0});
  EXPECT_NE(wider.find(L" dsize=160:120:0,"), std::wstring::npos) << testing::PrintToString(wider);
}

TEST(FrameCommandLine, MpvWritesOneFrameATenthInFittedToTheBoxWithoutTheUsersConfiguration) {
  EXPECT_EQ(MpvFrameCommandLine(kLaunch),
            L"C:\\mp\\mplayer.exe --no-config --no-terminal --idle=no --pause=no --keep-open=no --loop-file=no "
            L"--loop-playlist=no --ab-loop-a=no --ab-loop-b=no --audio=no --ao=null --sid=no --start=10% --frames=1 "
            L"--vf-add=lavfi=[scale=w=max(1\\,round(min(min(iw*sar\\,160)\\,120*dar))):"
            L"h=max(1\\,round(min(min(ih\\,120)\\,160/dar))):flags=area,setsar=1] "
            L"--vo=image --vo-image-format=png --vo-image-png-compression=0 "
            L"--vo-image-outdir=C:\\Temp\\reelpane-8-1 C:\\v\\a.avi");
}

TEST(FrameCommandLine, ParametersBlanksAndLettersBeyondAscii) {
  const FrameLaunch spaced{L"C:\\my mp\\mpv.exe", L" -v", L"C:\\my v\\\u00fc b.mkv", L"C:\\Temp\\J\u00fcrgen, x\\r-1",
                           96, 96};
  EXPECT_EQ(MPlayerFrameCommandLine(spaced, 0, kSmaller),
            L"\"C:\\my mp\\mpv.exe\" -v -noidle -loop 1 -quiet -nosound -noslices -sws 5 -frames 1 "
            L"-vf-add dsize=96:96:0,scale=0:0 -vo png \"C:\\my v\\\u00fc b.mkv\"");
  const std::wstring mpv = MpvFrameCommandLine(spaced);
  EXPECT_TRUE(mpv.starts_with(L"\"C:\\my mp\\mpv.exe\" -v --no-config ")) << testing::PrintToString(mpv);
  EXPECT_TRUE(mpv.ends_with(L" \"--vo-image-outdir=C:\\Temp\\J\u00fcrgen, x\\r-1\" \"C:\\my v\\\u00fc b.mkv\""))
      << testing::PrintToString(mpv);
}

// How the stand-ins read MPlayer's quoting of an outdir: "%N%" and the value, N its
// length in UTF-8 bytes.
TEST(MPlayerSubOption, OutdirQuotedByItsLengthInUtf8IsFound) {
  EXPECT_EQ(FindMPlayerOutdir(L"png:outdir=%6%C:\\a:b:z=1")->Folder, L"C:\\a:b");
  // 2 + 3 + 4 bytes
  EXPECT_EQ(FindMPlayerOutdir(L"png:outdir=%9%\u00fc\u20ac\U0001F3AC")->Folder, L"\u00fc\u20ac\U0001F3AC");
  const std::optional<MPlayerOutdir> found = FindMPlayerOutdir(L"png:outdir=%10%C:\\Temp\\r-1:z=1");
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->Offset, 11u);
  EXPECT_EQ(found->Length, 14u);
  EXPECT_EQ(FindMPlayerOutdir(L"png:z=1:outdir=frames:prefix=x")->Folder, L"frames");
  EXPECT_EQ(FindMPlayerOutdir(L"png"), std::nullopt);
  EXPECT_EQ(FindMPlayerOutdir(L"png:outdir=%9%short"), std::nullopt) << "fewer bytes than it says";
  EXPECT_EQ(FindMPlayerOutdir(L"png:outdir=%1%\u00fc"), std::nullopt) << "a character cut in two";
}

TEST(FrameProbe, VideoAndLengthFromTheIdentifyLines) {
  const ProbedVideo video = ReadProbeOutput("ID_VIDEO_WIDTH=640\nID_VIDEO_HEIGHT=360\nID_LENGTH=14.42\nID_EXIT=EOF\n");
  EXPECT_TRUE(video.HasVideo);
  EXPECT_EQ(video.Width, 640);
  EXPECT_EQ(video.Height, 360);
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
