// VLC's identification, fed what Debian's real VLC 3.0.24 printed on its remote
// control for "info" and "get_time" (line ends, prompts and all), and what it
// reports after.
#include "vlc_identification.h"

#include <gtest/gtest.h>

#include <string>

#include "player_report.h"
#include "vlc_dialect.h"

namespace {

// A video as VLC lists it: its shown size and its decoder's larger buffer, in no fixed order.
const std::string kVideo =
    "> +----[ Meta data ]\r\n| filename: sample-320x240.mp4\r\n|\r\n+----[ Stream 0 ]\r\n|\r\n"
    "| Video resolution: 320x240\r\n| Type: Video\r\n| Buffer dimensions: 320x258\r\n| Frame rate: 25\r\n|\r\n"
    "+----[ Stream 1 ]\r\n|\r\n| Type: Audio\r\n| Sample rate: 44100 Hz\r\n|\r\n+----[ end of stream info ]\r\n> 0\r\n> ";
const std::string kAudio =
    "> +----[ Meta data ]\r\n|\r\n+----[ Stream 0 ]\r\n|\r\n| Type: Audio\r\n| Bitrate: 69 kb/s\r\n|\r\n"
    "+----[ end of stream info ]\r\n> ";
const std::string kNothingYet = "> 0\r\n> ";

VideoSize Identified(const std::string& bytes, size_t chunk = 7) {
  VlcIdentification identification;
  for (size_t at = 0; at < bytes.size() && !identification.Done(); at += chunk) {
    identification.OnRead(std::string_view(bytes).substr(at, chunk));
  }
  identification.OnEnded();
  return identification.Result();
}

}  // namespace

TEST(VlcIdentification, TheSmallerSizeOfTheVideoStreamInAnyOrderAndAnyChunks) {
  const std::string greeting = "VLC media player 3.0.24 Vetinari\nCommand Line Interface initialized. Type `help' for help.\r\n";
  for (size_t chunk : {1, 5, 4096}) {
    EXPECT_EQ(Identified(greeting + kNothingYet + kVideo, chunk), (VideoSize{320, 240})) << chunk;
  }
  // Labels in another language, the buffer first.
  EXPECT_EQ(Identified("+----[ Datenstrom 0 ]\r\n| Puffergr\xc3\xb6\xc3\x9f" "e: 720x592\r\n"
                       "| Videoaufl\xc3\xb6sung: 720x576\r\n+----[ end of stream info ]\r\n"),
            (VideoSize{720, 576}));
  // Sizes in the meta data are no stream's.
  EXPECT_EQ(Identified("+----[ Meta data ]\r\n| title: 1920x1080\r\n+----[ Stream 0 ]\r\n| Type: Audio\r\n"
                       "+----[ end of stream info ]\r\n> 1\r\n"),
            (VideoSize{0, 0}));
}

TEST(VlcIdentification, DoneOnlyWhenTheAnswerIsKnown) {
  VlcIdentification identification;
  identification.OnRead(kNothingYet + kAudio);
  EXPECT_FALSE(identification.Done()) << "streams without a size: a video's may still come";
  identification.OnRead("0\r\n> ");
  EXPECT_FALSE(identification.Done());
  identification.OnRead(kAudio + "1\r\n> ");
  EXPECT_TRUE(identification.Done()) << "a second played, and still no size: no video";
  EXPECT_EQ(identification.Result(), (VideoSize{0, 0}));
}

TEST(VlcIdentification, EndedBeforeAnyStreamCannotPlayAfterStreamsPlaysWithoutASize) {
  VlcIdentification refused;
  refused.OnRead("VLC media player 3.0.24 Vetinari\n" + kNothingYet);
  refused.OnEnded();
  EXPECT_EQ(refused.Result(), (VideoSize{-1, -1}));
  VlcIdentification audio;
  audio.OnRead(kAudio);
  audio.OnEnded();
  EXPECT_EQ(audio.Result(), (VideoSize{0, 0}));
}

TEST(VlcIdentification, AnswersAreCountedByTheTimeLine) {
  VlcIdentification identification;
  identification.OnAsked();
  identification.OnRead("+----[ Stream 0 ]\r\n| Type: Audio\r\n+----[ end of stream info ]\r\n> ");
  EXPECT_FALSE(identification.Answered());
  identification.OnRead("0\r\n> ");
  EXPECT_TRUE(identification.Answered());
  // Before VLC has opened the file it answers with an empty line (the greeting's
  // prompt before it): answered too, not left to the second's wait.
  identification.OnAsked();
  identification.OnRead("VLC media player 3.0.24 Vetinari\nCommand Line Interface initialized.\r\n> \r\n> ");
  EXPECT_TRUE(identification.Answered());
  // A line past the cap is skipped whole, and what follows still counts.
  identification.OnRead(std::string(VlcIdentification::kLineCap + 10, 'x') + "\n" + kVideo);
  EXPECT_EQ(identification.Result(), (VideoSize{320, 240}));
}

// What VLC says after its identification, as Debian's VLC 3.0.24 wrote it: only
// the level "volup" and "voldown" answer with is a report (on VLC's scale, 256
// its 100 %), heard; a late "get_time" answer or "volume"'s bare number is not.
TEST(VlcReport, OnlyTheAnsweredLevelIsReported) {
  PlayerReport report;
  ReadVlcReport("> ( audio volume: 269 )\r", report);
  EXPECT_EQ(report.VolumeTenths, 1051);
  EXPECT_EQ(report.Muted, false);
  EXPECT_EQ(VlcVolumeOf(*report.VolumeTenths), 269);
  for (const char* other : {"> 1\r", "256", "> ( state playing )\r", "( audio volume:  )", "Bye-bye!"}) {
    PlayerReport none;
    ReadVlcReport(other, none);
    EXPECT_FALSE(none.VolumeTenths.has_value()) << other;
    EXPECT_FALSE(none.Muted.has_value()) << other;
  }
}
