// The thumbnail view's frames (ListGetPreviewBitmapW) with the stand-in player:
// what each player is asked, the bitmap's size and pixels, the answers given at
// once, the bound whatever the player does, several calls at once, COM on the
// calling thread, and that nothing is left behind: processes, temporary folders,
// handles, GDI objects. Times are printed. The bound is the plugin's own, asserted
// as it stands: the plugin keeps part of it for the clean-up.
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "frame_command.h"
#include "host_test.h"
#include "process_state.h"
#include "test_images.h"
#include "thumbnail.h"

namespace {

constexpr int kThreads = 8;
const Quarters kColours = {0xE02020, 0x20C020, 0x2020E0, 0xE0E020};

// What MPlayer's probe prints for a video that lasts 100 s.
std::string ProbeLines(int width, int height) {
  return "write ID_VIDEO_ID=0\\nID_VIDEO_WIDTH=" + std::to_string(width) + "\\nID_VIDEO_HEIGHT=" +
         std::to_string(height) + "\\nID_LENGTH=100.00\\nID_EXIT=EOF\\n\n";
}
// A player that writes the frame it is asked for and ends.
const std::string kFrame = "image\nexit 0\n";

std::wstring TemporaryFolderPath() {
  wchar_t path[MAX_PATH + 1] = {};
  return std::wstring(path, GetTempPathW(MAX_PATH + 1, path));
}

// This process's temporary folders for frames ("reelpane-PID-N") in the user's
// temporary folder (other test programs may be taking thumbnails beside it).
std::vector<std::wstring> FramesFolders() {
  std::vector<std::wstring> folders;
  WIN32_FIND_DATAW found;
  const std::wstring pattern = L"reelpane-" + std::to_wstring(GetCurrentProcessId()) + L"-*";
  HANDLE search = FindFirstFileW((TemporaryFolderPath() + pattern).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return folders;
  do folders.push_back(found.cFileName);
  while (FindNextFileW(search, &found));
  FindClose(search);
  return folders;
}

// A process's creation time as the frames' folders are named: 16 hexadecimal digits.
std::wstring CreationTimeText(ULONGLONG created) {
  std::wstring text(16, L'0');
  for (size_t at = 16; at-- > 0; created >>= 4) text[at] = L"0123456789abcdef"[created & 0xF];
  return text;
}

ULONGLONG ThisProcessCreated() {
  FILETIME created{}, exited{}, kernel{}, user{};
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  return (static_cast<ULONGLONG>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// What the host holds that a call might leave behind.
struct Holdings {
  DWORD Handles = 0;
  DWORD GdiObjects = 0;
};

Holdings HostHoldings() { return {HandleCount(), GdiObjectCount()}; }

}  // namespace

class Thumbnails : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    // The thumbnail view has no Lister window; and a window the system paints now
    // and then would make GDI objects of its own while the counts are taken.
    DestroyListerWindow(lister_);
    lister_ = nullptr;
    LoadWithDefaultSettings();  // the stand-in as MPlayer
  }

  void UseMpv() { workspace_.WriteSettings({{L"MPlayer_path", L"standin-player.exe"}, {L"Player", L"mpv"}}); }

  // A stand-in "video" (the stand-in player never reads it), and beside it the
  // frame the stand-in hands over for it.
  std::wstring Video(const std::wstring& name, int width, int height) {
    const std::wstring video = JoinPath(workspace_.Folder(), name);
    WriteFileBytes(video, "not a video");
    EXPECT_TRUE(WritePng(video + L".png", QuartersPicture(width, height, kColours)));
    return video;
  }

  // The thumbnail of |video| at most |box| with the players running |script|,
  // which must be |width| x |height| and show the frame's four quarters; the
  // players' command lines. The test is skipped where the bound came first in the
  // emulated lane (see BoundReachedInASlowLane): look at IsSkipped().
  std::vector<std::wstring> ExpectThumbnail(const std::string& script, const std::wstring& video, int boxWidth,
                                            int boxHeight, int width, int height) {
    const TakenThumbnail taken = workspace_.Thumbnail(script, video, boxWidth, boxHeight);
    if (BoundReachedInASlowLane(taken)) {
      [] { GTEST_SKIP() << "the player's starts took longer than the bound here"; }();
      return {};
    }
    ExpectFrame(taken.Bitmap, width, height);
    DeleteObject(taken.Bitmap);
    return taken.Log.CommandLines();
  }

  // |bitmap| is |width| x |height| and shows the four quarters of the frame.
  static void ExpectFrame(HBITMAP bitmap, int width, int height) {
    const BitmapPixels pixels = ReadBitmap(bitmap);
    ASSERT_EQ(pixels.Width, width);
    ASSERT_EQ(pixels.Height, height);
    const int x[] = {width / 4, width * 3 / 4};
    const int y[] = {height / 4, height * 3 / 4};
    for (int quarter = 0; quarter < 4; ++quarter) {
      const std::uint32_t colour = pixels.At(x[quarter % 2], y[quarter / 2]);
      EXPECT_LE(ChannelDistance(colour, kColours[quarter]), 8) << "quarter " << quarter << ": " << std::hex << colour;
    }
  }

  // Misbehaving players under |dialect|: null within the bound, and nothing left.
  void ExpectNullWithinTheBoundLeavingNothing(const char* dialect,
                                              const std::vector<std::pair<std::string, std::string>>& players) {
    const std::wstring video = Video(L"clip.avi", 640, 360);
    // What the process sets up once (COM, the imaging component, the thread pool) is set up first.
    DeleteObject(workspace_.Thumbnail(ProbeLines(640, 360) + kFrame, video, 96, 96).Bitmap);
    const Holdings before = HostHoldings();
    for (const auto& [what, script] : players) {
      const TakenThumbnail taken = workspace_.Thumbnail(script, video, 96, 96);
      std::printf("thumbnail, %s that %s: %s after %.1f ms\n", dialect, what.c_str(),
                  taken.Bitmap != nullptr ? "a bitmap" : "null", taken.Milliseconds);
      EXPECT_EQ(taken.Bitmap, nullptr) << what;
      DeleteObject(taken.Bitmap);
      EXPECT_LT(taken.Milliseconds, kThumbnailBoundMs) << what;
      // Gone when the call returns, not later.
      EXPECT_TRUE(TestWorkspace::RunningChildProcesses().empty()) << what;
      EXPECT_TRUE(FramesFolders().empty()) << what << ": " << Utf8(FramesFolders().front());
    }
    const Holdings after = HostHoldings();
    std::printf("handles %lu -> %lu, GDI objects %lu -> %lu\n", before.Handles, after.Handles, before.GdiObjects,
                after.GdiObjects);
    EXPECT_EQ(after.Handles, before.Handles);
    EXPECT_EQ(after.GdiObjects, before.GdiObjects);
  }
};

// MPlayer runs in the frame's folder and writes its image there, asked for a
// frame that fits the box when the video is stored larger than the box.
TEST_F(Thumbnails, MPlayerIsAskedTheLengthThenWritesOneFrameATenthIn) {
  const std::wstring video = Video(L"clip.avi", 640, 360);
  for (const auto& [box, scale] : {std::pair{96, L"dsize=96:96:0,scale=0:0"}, std::pair{640, L"scale=0:0"}}) {
    const TakenThumbnail taken = workspace_.Thumbnail(ProbeLines(640, 360) + kFrame, video, box, box);
    if (BoundReachedInASlowLane(taken)) GTEST_SKIP() << "the player's starts took longer than the bound here";
    ExpectFrame(taken.Bitmap, box, box * 360 / 640);
    DeleteObject(taken.Bitmap);
    const std::vector<std::wstring> lines = taken.Log.CommandLines();
    ASSERT_EQ(lines.size(), 2u);
    const std::wstring player = JoinPath(workspace_.Folder(), L"standin-player.exe");
    EXPECT_EQ(lines[0], player + L" -noidle -loop 1 -quiet -identify -nosound -vo null -frames 0 " + video);
    EXPECT_EQ(lines[1], player + L" -noidle -loop 1 -quiet -nosound -noslices -sws 5 -ss 10 -frames 1 -vf-add " +
                            scale + L" -vo png " + video);
    EXPECT_TRUE(taken.Log.HasEvent("image-folder ."));
    std::string folder;
    for (const std::string& event : taken.Log.Events()) {
      if (event.starts_with("current-folder ")) folder = event.substr(15);
    }
    const std::string frames = Utf8(TemporaryFolderPath()) + "reelpane-" + std::to_string(GetCurrentProcessId()) + "-";
    EXPECT_EQ(folder.substr(0, frames.size()), frames) << folder;
    EXPECT_FALSE(FileExists(FromUtf8(folder))) << "removed";
  }
}

TEST_F(Thumbnails, MpvWritesItsFrameInOneRun) {
  UseMpv();
  const std::wstring video = Video(L"clip with blank \u00fc.mkv", 640, 480);
  const std::vector<std::wstring> lines = ExpectThumbnail(kFrame, video, 160, 120, 160, 120);
  if (IsSkipped()) return;
  ASSERT_EQ(lines.size(), 1u);
  const std::wstring start =
      JoinPath(workspace_.Folder(), L"standin-player.exe") +
      L" --no-config --no-terminal --idle=no --pause=no --keep-open=no --loop-file=no --loop-playlist=no"
      L" --ab-loop-a=no --ab-loop-b=no --audio=no --ao=null --sid=no --start=10% --frames=1"
      L" --vf-add=lavfi=[scale=w=max(1\\,round(min(min(iw*sar\\,160)\\,120*dar))):"
      L"h=max(1\\,round(min(min(ih\\,120)\\,160/dar))):flags=area,setsar=1]"
      L" --vo=image --vo-image-format=png --vo-image-png-compression=0 --vo-image-outdir=" +
      TemporaryFolderPath() + L"reelpane-";
  EXPECT_EQ(lines[0].substr(0, start.size()), start) << Utf8(lines[0]);
  EXPECT_TRUE(lines[0].ends_with(L" \"" + video + L"\"")) << Utf8(lines[0]);
  EXPECT_TRUE(FramesFolders().empty());
}

// Whatever the user's temporary folder is called: letters beyond ASCII, blanks,
// a path too long for MPlayer's own image path, and commas, at which MPlayer cuts
// its "-vo" before it reads any quoting (the stand-in reads it so too).
TEST_F(Thumbnails, AnyTemporaryFolderServesBothPlayers) {
  const std::wstring video = Video(L"clip.avi", 640, 480);
  for (const bool mpv : {false, true}) {
    if (mpv) UseMpv();
    for (const std::wstring& name : {std::wstring(L"temp J\u00fcrgen"), std::wstring(70, L't'), std::wstring(L"Temp,1"),
                                     std::wstring(L"a b,c \u00fc,d")}) {
      SCOPED_TRACE(Utf8((mpv ? L"mpv, " : L"MPlayer, ") + name));
      const std::wstring temporary = workspace_.MakeFolder(name);
      ASSERT_TRUE(FileExists(temporary));
      const ScopedVariable tmp(L"TMP", temporary);
      const std::vector<std::wstring> lines =
          ExpectThumbnail((mpv ? "" : ProbeLines(640, 480)) + kFrame, video, 160, 160, 160, 120);
      if (IsSkipped()) return;
      ASSERT_EQ(lines.size(), mpv ? 1u : 2u);
      WIN32_FIND_DATAW found;
      HANDLE search = FindFirstFileW((temporary + L"\\*").c_str(), &found);
      int entries = 0;
      if (search != INVALID_HANDLE_VALUE) {
        do ++entries;
        while (FindNextFileW(search, &found));
        FindClose(search);
      }
      EXPECT_EQ(entries, 2) << "only . and .. are left";
    }
  }
}

// The user's own options may hold a player after its frame (MPlayer's -idle and
// -loop 0, mpv's idling, pausing, looping and keeping the file open; the stand-in
// is held by them as the real players are): the plugin's own options, after
// them, end those. The frame comes at once, not with the bound.
TEST_F(Thumbnails, TheUsersOwnOptionsDoNotHoldThePlayerAfterItsFrame) {
  const std::wstring video = Video(L"clip.avi", 640, 480);
  struct Case {
    const char* Player;
    std::wstring Params;
    std::string Script;
  };
  const Case cases[] = {
      {"mplayer", L"\" -idle -loop 0\"", ProbeLines(640, 480) + "image\nexit-after-frame\n"},
      {"mpv", L"\" --idle=yes --keep-open=yes --pause --loop-file=inf --loop-playlist=inf --ab-loop-a=1\"",
       "image\nexit-after-frame\n"}};
  for (const Case& held : cases) {
    workspace_.WriteSettings({{L"MPlayer_path", L"standin-player.exe"},
                              {L"Player", FromUtf8(held.Player)},
                              {L"MPlayer_params", held.Params}});
    const TakenThumbnail taken = workspace_.Thumbnail(held.Script, video, 160, 120);
    std::printf("thumbnail, %s with %s: %s after %.1f ms\n", held.Player, Utf8(held.Params).c_str(),
                taken.Bitmap != nullptr ? "a bitmap" : "null", taken.Milliseconds);
    EXPECT_FALSE(taken.Log.HasEvent("held")) << held.Player;
    if (BoundReachedInASlowLane(taken)) continue;
    ExpectFrame(taken.Bitmap, 160, 120);
    DeleteObject(taken.Bitmap);
  }
}

// A player started through a launcher (a package manager's shim) gives its frame
// as one started directly, both players.
TEST_F(Thumbnails, BothPlayersGiveTheirFramesThroughALauncher) {
  const std::wstring video = Video(L"clip.avi", 640, 480);
  workspace_.MakeFolder(L"player");
  for (const auto& [launcher, player] : {std::pair{L"player\\mplayer.exe", L"player\\mplayer-real.exe"},
                                         std::pair{L"player\\mpv.com", L"player\\mpv.exe"}}) {
    workspace_.InstallLauncher(launcher, workspace_.InstallPlayer(player));
    workspace_.WriteSettings({{L"MPlayer_path", launcher}});
    const bool mpv = std::wstring(launcher).ends_with(L".com");
    const std::vector<std::wstring> lines =
        ExpectThumbnail((mpv ? "" : ProbeLines(640, 480)) + kFrame, video, 160, 120, 160, 120);
    if (IsSkipped()) return;
    EXPECT_EQ(lines.size(), mpv ? 1u : 2u) << Utf8(launcher);
  }
}

// A frame far larger than the box (a player that did not scale it) is not
// decoded: a huge frame would cost the host its memory and the bound's time.
TEST_F(Thumbnails, AFrameFarLargerThanAskedForIsNotDecoded) {
  UseMpv();
  const std::wstring video = Video(L"clip.avi", 2400, 1350);
  const TakenThumbnail taken = workspace_.Thumbnail(kFrame, video, 96, 96);
  std::printf("thumbnail, a 2400 x 1350 frame for 96 x 96: %s after %.1f ms\n",
              taken.Bitmap != nullptr ? "a bitmap" : "null", taken.Milliseconds);
  if (!taken.Log.HasEvent("image") && BoundReachedInASlowLane(taken)) {
    GTEST_SKIP() << "the player's start took longer than the bound here";
  }
  EXPECT_TRUE(taken.Log.HasEvent("image"));
  EXPECT_EQ(taken.Bitmap, nullptr);
  DeleteObject(taken.Bitmap);
  EXPECT_LT(taken.Milliseconds, kThumbnailBoundMs);
  // Within the limit, it is.
  const std::wstring smaller = Video(L"smaller.avi", 1200, 675);
  const TakenThumbnail given = workspace_.Thumbnail(kFrame, smaller, 300, 300);
  if (BoundReachedInASlowLane(given)) GTEST_SKIP() << "the player's start took longer than the bound here";
  ExpectFrame(given.Bitmap, 300, 169);
  DeleteObject(given.Bitmap);
}

TEST_F(Thumbnails, NoPlayerIsAskedWhereTheAnswerIsKnownAtOnce) {
  const std::wstring video = Video(L"clip.avi", 640, 480);
  struct Refusal {
    const char* What;
    std::vector<std::pair<std::wstring, std::wstring>> Settings;
    std::wstring File;
    int Width, Height;
  };
  const std::vector<std::pair<std::wstring, std::wstring>> usual = {{L"MPlayer_path", L"standin-player.exe"}};
  const Refusal refusals[] = {
      {"thumbnails off", {{L"MPlayer_path", L"standin-player.exe"}, {L"Thumbnails", L"0"}}, video, 96, 96},
      {"no such player", {{L"MPlayer_path", L"missing.exe"}}, video, 96, 96},
      {"no player set", {}, video, 96, 96},
      {"no such file", usual, video + L".missing", 96, 96},
      {"a folder", usual, workspace_.Folder(), 96, 96},
      {"no file name", usual, L"", 96, 96},
      {"no width", usual, video, 0, 96},
      {"a negative height", usual, video, 96, -1},
  };
  for (const Refusal& refusal : refusals) {
    workspace_.WriteSettings(refusal.Settings);
    const TakenThumbnail taken = workspace_.Thumbnail(ProbeLines(640, 480) + kFrame, refusal.File, refusal.Width,
                                                      refusal.Height);
    EXPECT_EQ(taken.Bitmap, nullptr) << refusal.What;
    EXPECT_FALSE(taken.Log.Started()) << refusal.What;
    std::printf("thumbnail, %s: null after %.1f ms\n", refusal.What, taken.Milliseconds);
  }
  // Any other value leaves them on.
  workspace_.WriteSettings({{L"MPlayer_path", L"standin-player.exe"}, {L"Thumbnails", L"no"}});
  const TakenThumbnail taken = workspace_.Thumbnail(ProbeLines(640, 480) + kFrame, video, 96, 96);
  if (BoundReachedInASlowLane(taken)) GTEST_SKIP() << "two player starts took longer than the bound here";
  EXPECT_NE(taken.Bitmap, nullptr);
  DeleteObject(taken.Bitmap);
}

// Audio alone, or a file MPlayer can't play: its probe says so, and no frame is asked for.
TEST_F(Thumbnails, AFileWithoutPictureEndsWithTheProbe) {
  const std::wstring video = Video(L"sound.mp4", 640, 480);
  for (const char* probe : {"write ID_AUDIO_ID=0\\nID_LENGTH=2.00\\nID_EXIT=EOF\\n\nexit 0\n",
                                   "write ID_EXIT=EOF\\n\nexit 0\n"}) {
    const TakenThumbnail taken = workspace_.Thumbnail(probe, video, 96, 96);
    EXPECT_EQ(taken.Bitmap, nullptr);
    EXPECT_EQ(taken.Log.CommandLines().size(), 1u);
    std::printf("thumbnail, a file without picture: null after %.1f ms\n", taken.Milliseconds);
  }
}

TEST_F(Thumbnails, MisbehavingMPlayerGivesNullWithinTheBoundAndLeavesNothing) {
  ExpectNullWithinTheBoundLeavingNothing(
      "MPlayer", {{"hangs", "sleep 600000\n"},
                  {"floods its output", ProbeLines(640, 360) + "flood 4000000000\n"},
                  {"writes no frame", ProbeLines(640, 360) + "exit 0\n"},
                  {"writes garbage", ProbeLines(640, 360) + "image-bytes \\x89PNG\\r\\n\\x1a\\ngarbage\nexit 0\n"},
                  {"exits at once", "exit 3\n"},
                  {"crashes", ProbeLines(640, 360) + "crash\n"}});
}

TEST_F(Thumbnails, MisbehavingMpvGivesNullWithinTheBoundAndLeavesNothing) {
  UseMpv();
  // Half a frame: the first bytes of a real one.
  const std::wstring whole = JoinPath(workspace_.Folder(), L"whole.png");
  ASSERT_TRUE(WritePng(whole, QuartersPicture(640, 360, kColours)));
  const std::wstring half = JoinPath(workspace_.Folder(), L"half.png");
  const std::string bytes = ReadFileBytes(whole);
  WriteFileBytes(half, bytes.substr(0, bytes.size() / 2));
  ExpectNullWithinTheBoundLeavingNothing(
      "mpv", {{"stops at once on options it does not know (an mpv older than 0.21)", "exit 1\n"},
              {"hangs", "sleep 600000\n"},
              {"floods its output", "flood 4000000000\n"},
              {"writes no frame", "exit 0\n"},
              {"writes half a frame", "image " + Utf8(half) + "\nexit 0\n"},
              {"writes an empty frame", "image-bytes \nexit 0\n"},
              {"writes its frame, then hangs", "image\nsleep 600000\n"}});
}

TEST_F(Thumbnails, EightCallsAtOnceEachGetTheirOwnFrame) {
  if (TimeScale() > 1) GTEST_SKIP() << "16 player starts at once take longer than the bound in the emulated lane";
  struct Call {
    int FrameWidth, FrameHeight;  // of the frame the player writes
    int BoxWidth, BoxHeight;      // asked for
    int Width, Height;            // given
  };
  const Call calls[kThreads] = {
      {640, 480, 160, 120, 160, 120}, {640, 360, 96, 96, 96, 54},     {360, 640, 96, 96, 54, 96},
      {1280, 720, 200, 200, 200, 113}, {320, 240, 400, 400, 320, 240}, {720, 576, 120, 90, 113, 90},
      {200, 800, 64, 64, 16, 64},      {1000, 1000, 128, 96, 96, 96}};
  std::vector<std::wstring> videos;
  for (int i = 0; i < kThreads; ++i) {
    videos.push_back(Video(L"clip-" + std::to_wstring(i) + L".avi", calls[i].FrameWidth, calls[i].FrameHeight));
  }
  const ScopedVariable log(L"REELPANE_STANDIN_LOG", workspace_.MakeFolder(L"players-at-once"));
  const ScopedVariable script(L"REELPANE_STANDIN_SCRIPT", FromUtf8(ProbeLines(640, 480) + kFrame));
  HBITMAP given[kThreads] = {};
  BitmapPixels got[kThreads];
  double milliseconds[kThreads] = {};
  const auto allAtOnce = [&] {
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&, i] {
        const Stopwatch stopwatch;
        given[i] = workspace_.Host().PreviewBitmap(videos[i], calls[i].BoxWidth, calls[i].BoxHeight);
        milliseconds[i] = stopwatch.Milliseconds();
      });
    }
    for (std::thread& thread : threads) thread.join();
    for (int i = 0; i < kThreads; ++i) {
      got[i] = ReadBitmap(given[i]);
      DeleteObject(given[i]);
      EXPECT_EQ(got[i].Width, calls[i].Width) << i;
      EXPECT_EQ(got[i].Height, calls[i].Height) << i;
    }
    EXPECT_TRUE(TestWorkspace::RunningChildProcesses().empty());
    EXPECT_TRUE(FramesFolders().empty());
  };
  allAtOnce();
  // Threads that meet in the system's code make it set up a little once, at
  // random moments: Wine makes a critical section's event the first time two
  // threads contend for it, and keeps a screen device context for each thread
  // that held one at the same time. So what the calls leave is looked for as
  // growth over many rounds: one object left per call would be 40 here.
  const Holdings before = HostHoldings();
  constexpr int kRounds = 5;
  for (int round = 0; round < kRounds; ++round) allAtOnce();
  const Holdings after = HostHoldings();
  for (int i = 0; i < kThreads; ++i) {
    std::printf("thumbnail %d of %d at once (last round): %d x %d for %d x %d asked, after %.1f ms\n", i + 1,
                kThreads, got[i].Width, got[i].Height, calls[i].BoxWidth, calls[i].BoxHeight, milliseconds[i]);
  }
  std::printf("after %d calls more: handles %lu -> %lu, GDI objects %lu -> %lu\n", kRounds * kThreads,
              before.Handles, after.Handles, before.GdiObjects, after.GdiObjects);
  EXPECT_LT(after.Handles, before.Handles + kThreads);
  EXPECT_LT(after.GdiObjects, before.GdiObjects + kThreads);
}

// The host's thread may have COM in either apartment, or none: it keeps what it had.
TEST_F(Thumbnails, TheCallingThreadsComIsLeftAsItWas) {
  const std::wstring video = Video(L"clip.avi", 640, 480);
  for (const DWORD apartment : {DWORD{COINIT_APARTMENTTHREADED}, DWORD{COINIT_MULTITHREADED}, DWORD{0}}) {
    const char* what = apartment == COINIT_APARTMENTTHREADED ? "single-threaded apartment"
                       : apartment == COINIT_MULTITHREADED   ? "multithreaded apartment"
                                                             : "no COM";
    std::thread([&] {
      const bool hostCom = apartment != 0;
      if (hostCom) {
        ASSERT_EQ(CoInitializeEx(nullptr, apartment), S_OK) << what;
      }
      const TakenThumbnail taken = workspace_.Thumbnail(ProbeLines(640, 480) + kFrame, video, 160, 120);
      if (!BoundReachedInASlowLane(taken)) {
        EXPECT_NE(taken.Bitmap, nullptr) << what;
      }
      DeleteObject(taken.Bitmap);
      if (hostCom) {
        // Still in its own apartment: joined again, not changed nor ended.
        EXPECT_EQ(CoInitializeEx(nullptr, apartment), S_FALSE) << what;
        CoUninitialize();
        CoUninitialize();
      } else {
        // The plugin's own initialisation was undone: any apartment may begin.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK) << what;
        CoUninitialize();
      }
    }).join();
  }
}

// Folders of ours that a call could not remove are removed later: one that this
// process left (a scanner held its image open) by its next call, and those of
// processes that have ended (by their ids and creation times) by the next call
// of any process. Folders that are not ours, or whose process still runs, stay.
TEST_F(Thumbnails, FoldersLeftBehindAreRemovedLaterAndOnlyThose) {
  UseMpv();
  const std::wstring video = Video(L"clip.avi", 640, 480);
  const std::wstring temporary = workspace_.MakeFolder(L"temp");
  const ScopedVariable tmp(L"TMP", temporary);
  const std::wstring pid = std::to_wstring(GetCurrentProcessId());
  const ULONGLONG created = ThisProcessCreated();
  // Ended: an id no process has, and this process's id with an earlier creation time.
  const std::vector<std::wstring> ended = {L"reelpane-4294967292-0123456789abcdef-1",
                                           L"reelpane-" + pid + L"-" + CreationTimeText(created - 1) + L"-7"};
  // Kept: this process, running, and names not quite ours.
  const std::vector<std::wstring> kept = {L"reelpane-" + pid + L"-" + CreationTimeText(created) + L"-99",
                                          L"reelpane-123-4", L"reelpane-12-0123456789ABCDEF-1",
                                          L"reelpane-12-0123456789abcdef-1-x", L"reelpanes-12-0123456789abcdef-1"};
  for (const auto* names : {&ended, &kept}) {
    for (const std::wstring& name : *names) {
      ASSERT_TRUE(CreateDirectoryW(JoinPath(temporary, name).c_str(), nullptr)) << Utf8(name);
      WriteFileBytes(JoinPath(JoinPath(temporary, name), L"frame.png"), "a frame");
    }
  }
  const auto exists = [&](const std::wstring& name) { return FileExists(JoinPath(temporary, name)); };

  // A scanner opens the first call's image as soon as it is written, and holds it.
  HANDLE held = INVALID_HANDLE_VALUE;
  std::thread scanner([&] {
    for (const ULONGLONG end = GetTickCount64() + 30000; held == INVALID_HANDLE_VALUE && GetTickCount64() < end;) {
      WIN32_FIND_DATAW found;
      HANDLE search = FindFirstFileW((temporary + L"\\reelpane-" + pid + L"-*").c_str(), &found);
      for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        const std::wstring image = JoinPath(JoinPath(temporary, found.cFileName), L"00000001.png");
        held = CreateFileW(image.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (held != INVALID_HANDLE_VALUE) break;
      }
      if (search != INVALID_HANDLE_VALUE) FindClose(search);
      Sleep(1);
    }
    wchar_t log[MAX_PATH] = {};
    GetEnvironmentVariableW(L"REELPANE_STANDIN_LOG", log, MAX_PATH);
    WriteFileBytes(JoinPath(log, L"scanned"), "");
  });
  const TakenThumbnail first = workspace_.Thumbnail("image\nawait-file scanned\nexit 0\n", video, 160, 120);
  scanner.join();
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  DeleteObject(first.Bitmap);
  std::vector<std::wstring> leftByUs;
  {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((temporary + L"\\reelpane-" + pid + L"-*").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
      if (std::wstring(found.cFileName) != kept[0]) leftByUs.push_back(found.cFileName);
    }
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
  }
  ASSERT_EQ(leftByUs.size(), 1u) << "the held image keeps its folder";
  CloseHandle(held);

  const TakenThumbnail second = workspace_.Thumbnail(kFrame, video, 160, 120);
  DeleteObject(second.Bitmap);
  EXPECT_FALSE(exists(leftByUs[0])) << "this process's folder is removed by its next call";
  for (const std::wstring& name : ended) EXPECT_FALSE(exists(name)) << Utf8(name);
  for (const std::wstring& name : kept) EXPECT_TRUE(exists(name)) << Utf8(name);
}
