// Every format the plugin offers to show, with the real players: one short sample
// of each (tools/make-samples --formats) is opened through the plugin with
// Debian's real MPlayer, the real mpv and the real VLC, through the relay on an X display
// as in the end-to-end tests, and its thumbnail taken. Each sample gives a row
// "format-table: ..." (the identified size, whether the Lister was placed for it,
// the thumbnail's size, the times), which tools/format-table gathers into a table.
// tests/end_to_end/run-real-player runs these with two of the formats; without
// that scene they skip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "host_test.h"
#include "identify_checks.h"
#include "preview_size.h"
#include "real_player.h"
#include "real_player_scenes.h"
#include "test_images.h"
#include "watched_player.h"

using namespace real_player_scenes;

namespace {

constexpr int kBoxWidth = 160;  // the thumbnail view's usual box
constexpr int kBoxHeight = 120;

// The samples in REELPANE_FORMAT_SAMPLES, by name.
std::vector<std::string> FormatSamples() {
  std::vector<std::string> names;
  const char* folder = std::getenv("REELPANE_FORMAT_SAMPLES");
  if (folder == nullptr) return names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(JoinPath(WindowsPathOf(folder), L"format-*").c_str(), &found);
  for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
    names.push_back(Utf8(found.cFileName));
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  std::sort(names.begin(), names.end());
  return names;
}

// "format-EXT-CODECS-WIDTHxHEIGHT.EXT": the video's size.
PixelSize SizeInName(const std::string& name) {
  const size_t end = name.rfind('.');
  const size_t start = name.rfind('-', end) + 1;
  const size_t by = name.find('x', start);
  return {std::atoi(name.substr(start, by - start).c_str()), std::atoi(name.substr(by + 1, end - by - 1).c_str())};
}

// The size the live player behind |relay| identified, as "WIDTHxHEIGHT".
std::string LiveSize(const WatchedPlayer& relay, const char* player) {
  if (std::string_view(player) == "vlc") {
    // VLC's own "info": its video stream's shown size.
    const std::string info = RealPlayer::Vlc(relay.ProcessId()).Ask("info");
    constexpr std::string_view kLabel = "| Video resolution: ";
    const size_t at = info.find(kLabel);
    if (at == std::string::npos) return info;
    const size_t from = at + kLabel.size();
    return info.substr(from, info.find_first_of("\r\n", from) - from);
  }
  const bool mpv = std::string_view(player) == "mpv";
  RealPlayer real(relay.ProcessId(), mpv);
  return mpv ? real.MpvProperty("dwidth") + "x" + real.MpvProperty("dheight")
             : real.Property("width") + "x" + real.Property("height");
}

}  // namespace

class RealFormats : public RealPlayerHostTest {
 protected:
  // The scene is set up by each test, for its player.
  void SetUp() override {
    if (std::getenv("REELPANE_FORMAT_SAMPLES") == nullptr) GTEST_SKIP() << "needs tools/make-samples --formats";
  }

  // Opens and closes each sample, then takes its thumbnail, with the relay as |program|.
  // VLC takes no thumbnails yet: its rows say what came back, unchecked.
  void EverySample(const wchar_t* program, const char* player) {
    SetUpRelayAs(program, "tests/end_to_end/run-real-player");
    if (IsSkipped()) return;
    // Held at its first frame: a sample lasts 2 s, and on a busy machine MPlayer
    // (which ends at the end) would be gone before it is asked what it plays.
    workspace_.WriteSettings({{L"MPlayer_path", program}, {L"View_Size", L"normal"}, {L"Start_paused", L"1"}});
    const std::vector<std::string> samples = FormatSamples();
    ASSERT_FALSE(samples.empty());
    for (const std::string& sample : samples) {
      SCOPED_TRACE(sample);
      const std::wstring path = JoinPath(WindowsPathOf(std::getenv("REELPANE_FORMAT_SAMPLES")), FromUtf8(sample));
      const PixelSize size = SizeInName(sample);
      const Stopwatch opening;
      HWND view = workspace_.Host().LoadW(lister_, path);
      const double openMs = opening.Milliseconds();
      std::string identified = "refused";
      bool placed = false;
      if (view != nullptr) {
        const WatchedPlayer relay(view);
        identified = LiveSize(relay, player);
        placed = OuterSizeOf(lister_) == NormalPlacementFor(size.Width, size.Height);
        workspace_.Host().CloseWindow(view);
      }
      const Stopwatch taking;
      HBITMAP bitmap = workspace_.Host().PreviewBitmap(path, kBoxWidth, kBoxHeight);
      const double thumbnailMs = taking.Milliseconds();
      const BitmapPixels thumbnail = ReadBitmap(bitmap);
      DeleteObject(bitmap);
      const std::string thumbnailSize =
          bitmap != nullptr ? std::to_string(thumbnail.Width) + "x" + std::to_string(thumbnail.Height) : "none";
      std::printf("format-table: %s | %s | %s | %s | %.0f | %s | %.0f\n", player, sample.c_str(), identified.c_str(),
                  placed ? "placed" : "not placed", openMs, thumbnailSize.c_str(), thumbnailMs);

      // Debian's players play every format; one that could not would
      // show as refused in its row, and fail here.
      EXPECT_EQ(identified, std::to_string(size.Width) + "x" + std::to_string(size.Height));
      EXPECT_TRUE(placed) << "the Lister window fits the video";
      if (std::string_view(player) == "vlc") continue;
      // The player scales the frame itself, rounding its own way: a pixel either way.
      const PixelSize fitted = FitPreviewSize(size, {kBoxWidth, kBoxHeight});
      EXPECT_NEAR(thumbnail.Width, fitted.Width, 1);
      EXPECT_NEAR(thumbnail.Height, fitted.Height, 1);
    }
  }
};

TEST_F(RealFormats, MPlayer) { EverySample(L"relay-player.exe", "mplayer"); }

TEST_F(RealFormats, Mpv) { EverySample(L"mpv.exe", "mpv"); }

TEST_F(RealFormats, Vlc) { EverySample(L"vlc.exe", "vlc"); }
