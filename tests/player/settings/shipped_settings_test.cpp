// The sample settings that the release zip ships, installed as a user does: copied
// to reelpane.ini in the plugin folder, with MPlayer unpacked into "mplayer" there.
#include <gtest/gtest.h>

#include "host_test.h"
#include "placement_math.h"
#include "test_images.h"

namespace {

// The build stages the zip's files here, next to the folder holding the tests.
std::string ShippedSampleSettings() {
  return ReadFileBytes(JoinPath(BuildFolder(), L"..\\release\\files\\reelpane.sample.ini"));
}

std::string WithLine(std::string settings, const std::string& line, const std::string& replacement) {
  const size_t at = settings.find("\r\n" + line + "\r\n");
  if (at == std::string::npos) return {};
  return settings.replace(at + 2, line.size(), replacement);
}

ScreenRect WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return {rect.left, rect.top, rect.right, rect.bottom};
}

ScreenRect DesktopRect() {
  RECT rect{};
  GetClientRect(GetDesktopWindow(), &rect);
  return {rect.left, rect.top, rect.right, rect.bottom};
}

}  // namespace

class ShippedSettings : public HostTest {
 protected:
  // The plugin folder as a user leaves it after installing: the player in
  // mplayer\mplayer.exe, |settings| as reelpane.ini, the host's current folder elsewhere.
  void Install(const std::string& settings) {
    ASSERT_FALSE(settings.empty()) << "no sample settings staged by the build";
    workspace_.MakeFolder(L"mplayer");
    player_ = workspace_.InstallPlayer(L"mplayer\\mplayer.exe");
    WriteFileBytes(JoinPath(workspace_.Folder(), L"reelpane.ini"), settings);
    workspace_.LoadPlugin();
    wchar_t current[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    savedDirectory_ = current;
    SetCurrentDirectoryW(L"C:\\windows");
  }

  void TearDown() override {
    if (!savedDirectory_.empty()) SetCurrentDirectoryW(savedDirectory_.c_str());
    HostTest::TearDown();
  }

  std::wstring ExpectedCommandLine(HWND view, const std::wstring& params) const {
    return player_ + params + L" -quiet -slave -identify -keepaspect -wid " +
           HandleText(view) + L" -colorkey 0x101010 C:\\videos\\clip.avi";
  }

  std::wstring player_;
  std::wstring savedDirectory_;
};

TEST_F(ShippedSettings, SampleStartsThePlayerUnpackedNextToThePluginAndPlacesTheWindow) {
  Install(ShippedSampleSettings());
  const ScreenRect before = WindowRect(lister_);
  // A portrait video: the window stays within the smallest desktop, which the system would clamp it to.
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(360, 480));
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(opened.Log.CommandLine(), ExpectedCommandLine(opened.View, L""));

  const std::optional<WindowPlacement> smart =
      ComputeListerPlacement<PlacementReal>(ViewSizeMode::Smart, before, DesktopRect(), 360, 480);
  ASSERT_TRUE(smart.has_value());
  const ScreenRect after = WindowRect(lister_);
  EXPECT_EQ((WindowPlacement{after.left, after.top, after.right - after.left, after.bottom - after.top}), *smart);
  workspace_.Host().CloseWindow(opened.View);
}

// The sample tells users to quote a value that begins with a blank.
TEST_F(ShippedSettings, QuotedParamsKeepTheirLeadingBlank) {
  Install(WithLine(ShippedSampleSettings(), "MPlayer_params=", "MPlayer_params=\" -nosound\""));
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(opened.Log.CommandLine(), ExpectedCommandLine(opened.View, L" -nosound"));
  workspace_.Host().CloseWindow(opened.View);
}

// ... and what happens when they don't: the warning the readme explains.
TEST_F(ShippedSettings, UnquotedParamsLoseTheirBlankAndThePlayerCannotStart) {
  Install(WithLine(ShippedSampleSettings(), "MPlayer_params=", "MPlayer_params= -nosound"));
  const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480));
  EXPECT_EQ(opened.View, nullptr);
  EXPECT_FALSE(opened.Log.Started());
  const auto box = boxes_.Take();
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->first, L"reelpane");
  EXPECT_EQ(box->second, L"Cannot create process: " + player_);
}

// The sample leaves the thumbnails on, and its line is where a user turns them off.
TEST_F(ShippedSettings, SampleGivesThumbnailsUntilItsLineSaysZero) {
  const std::string sample = ShippedSampleSettings();
  const std::wstring video = JoinPath(workspace_.Folder(), L"clip.avi");
  WriteFileBytes(video, "not a video");
  ASSERT_TRUE(WritePng(video + L".png", QuartersPicture(320, 240, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF})));
  const std::string script = "write ID_VIDEO_WIDTH=640\\nID_VIDEO_HEIGHT=480\\nID_LENGTH=9.00\\n\nimage\nexit 0\n";
  Install(sample);
  const TakenThumbnail on = workspace_.Thumbnail(script, video, 96, 96);
  if (!BoundReachedInASlowLane(on)) {
    EXPECT_NE(on.Bitmap, nullptr);
  }
  DeleteObject(on.Bitmap);
  WriteFileBytes(JoinPath(workspace_.Folder(), L"reelpane.ini"), WithLine(sample, "Thumbnails=1", "Thumbnails=0"));
  const TakenThumbnail off = workspace_.Thumbnail(script, video, 96, 96);
  EXPECT_EQ(off.Bitmap, nullptr);
  EXPECT_FALSE(off.Log.Started());
}
