// Thumbnails of the samples from the real players, Debian's mplayer and mpv,
// through the relay player (tools/relay_player), which the plugin runs as it runs
// either player on Windows. The bitmaps are kept as PNG files, which
// tests/end_to_end/run-real-thumbnails compares with the frames the players write
// natively; it sets the scene, and without it these tests skip.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "host_test.h"
#include "real_player.h"
#include "test_images.h"

namespace {

struct Sample {
  const char* Name;
  int BoxWidth, BoxHeight;  // asked for
  int Width, Height;        // given; 0 by 0 for none
};

const Sample kSamples[] = {
    {"sample-640x480.avi", 160, 120, 160, 120},
    {"sample-640x360.mkv", 96, 96, 96, 54},
    {"anamorphic-480x360.mkv", 160, 160, 160, 90},  // shown 640x360
    {"long-640x360.mkv", 96, 96, 96, 54},
    {"damaged-640x360.avi", 96, 96, 96, 54},
    {"corrupt.avi", 96, 96, 0, 0},
    {"audio-only.mp4", 96, 96, 0, 0},
};

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

class RealPlayerThumbnails : public HostTest {
 protected:
  void SetUp() override {
    if (Environment("REELPANE_SAMPLES").empty() || Environment("REELPANE_THUMBNAILS_OUT").empty()) {
      GTEST_SKIP() << "needs the real players: run tests/end_to_end/run-real-thumbnails";
    }
    HostTest::SetUp();
  }

  // Each sample's thumbnail as |take| gets it: its size, kept as PLAYER-SAMPLE.png.
  void ExpectEverySample(const char* player, const std::function<TakenThumbnail(const Sample&)>& take) {
    for (const Sample& sample : kSamples) {
      const TakenThumbnail taken = take(sample);
      const BitmapPixels pixels = ReadBitmap(taken.Bitmap);
      DeleteObject(taken.Bitmap);
      std::printf("thumbnail, real %s, %s, %d x %d asked: %d x %d in %.1f ms\n", player, sample.Name,
                  sample.BoxWidth, sample.BoxHeight, pixels.Width, pixels.Height, taken.Milliseconds);
      EXPECT_EQ(pixels.Width, sample.Width) << sample.Name;
      EXPECT_EQ(pixels.Height, sample.Height) << sample.Name;
      if (pixels.Width == 0) continue;
      const std::wstring kept = JoinPath(WindowsPathOf(Environment("REELPANE_THUMBNAILS_OUT")),
                                         FromUtf8(std::string(player) + "-" + sample.Name + ".png"));
      EXPECT_TRUE(WritePng(kept, pixels)) << Utf8(kept);
    }
  }

  // Each sample's thumbnail with the relay as the player |settings| name.
  void ExpectEverySampleThroughTheRelay(const char* player,
                                        const std::vector<std::pair<std::wstring, std::wstring>>& settings) {
    if (Environment("REELPANE_RELAY_PORT").empty()) GTEST_SKIP() << "needs tools/relay-native";
    workspace_.InstallPlayer(L"relay-player.exe", L"relay-player.exe");
    workspace_.WriteSettings(settings);
    PluginHost& host = workspace_.LoadPlugin();
    ExpectEverySample(player, [&](const Sample& sample) {
      const Stopwatch stopwatch;
      HBITMAP bitmap = host.PreviewBitmap(SamplePath(sample.Name), sample.BoxWidth, sample.BoxHeight);
      return TakenThumbnail{bitmap, PlayerLog(L""), stopwatch.Milliseconds()};
    });
  }
};

TEST_F(RealPlayerThumbnails, MPlayerThroughTheRelay) {
  ExpectEverySampleThroughTheRelay("mplayer", {{L"MPlayer_path", L"relay-player.exe"}});
}

TEST_F(RealPlayerThumbnails, MpvThroughTheRelay) {
  ExpectEverySampleThroughTheRelay("mpv", {{L"MPlayer_path", L"relay-player.exe"}, {L"Player", L"mpv"}});
}
