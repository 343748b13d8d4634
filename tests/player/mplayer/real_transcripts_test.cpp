// Real MPlayer output, replayed byte for byte by the stand-in player, so that the
// plugin reads what the real player prints. The transcripts are made by
// tools/capture-transcripts; tests/native/check_transcripts.py keeps them current.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "host_test.h"
#include "identify_checks.h"

namespace {

enum class Verdict { Shown, ShownWithoutSize, Rejected };

struct RealSample {
  const char* Name;
  Verdict Expected;
  int Width = 0;
  int Height = 0;
};

// What the real player made of each sample of tools/make-samples.
const RealSample kRealSamples[] = {
    {"sample-320x240.mp4", Verdict::Shown, 320, 240},
    {"sample-640x360.mkv", Verdict::Shown, 640, 360},
    {"sample-640x480.avi", Verdict::Shown, 640, 480},
    {"damaged-640x360.avi", Verdict::Shown, 640, 360},
    {"clip with blank \xC3\xBC.mp4", Verdict::Shown, 320, 240},
    {"long-640x360.mkv", Verdict::Shown, 640, 360},
    {"anamorphic-480x360.mkv", Verdict::Shown, 480, 360},  // as stored; shown 640x360
    {"audio-only.mp4", Verdict::ShownWithoutSize},
    {"corrupt.avi", Verdict::Rejected},
    {"truncated.mp4", Verdict::Rejected},
};

// The transcripts in the source tree, as this process sees them.
std::wstring TranscriptFolder() { return WindowsPathOf(REELPANE_TRANSCRIPT_DIR); }

std::wstring TranscriptPath(const std::string& sample) {
  return JoinPath(TranscriptFolder(), FromUtf8(sample) + L".txt");
}

std::vector<std::string> TranscribedSamples() {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(JoinPath(TranscriptFolder(), L"*.txt").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = Utf8(found.cFileName);
    names.push_back(name.substr(0, name.size() - 4));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

const RealSample* FindRealSample(const std::string& name) {
  for (const RealSample& sample : kRealSamples) {
    if (name == sample.Name) return &sample;
  }
  return nullptr;
}

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// As a Windows build of the player prints its lines.
std::string WithCrlfLines(const std::string& text) {
  std::string converted;
  for (char c : text) {
    if (c == '\n') converted += '\r';
    converted += c;
  }
  return converted;
}

// The table above must agree with what the real player printed.
void ExpectTranscriptSays(const RealSample& sample, const std::string& transcript) {
  switch (sample.Expected) {
    case Verdict::Shown:
      EXPECT_TRUE(Contains(transcript, "\nID_VIDEO_WIDTH=" + std::to_string(sample.Width) + "\n"));
      EXPECT_TRUE(Contains(transcript, "\nID_VIDEO_HEIGHT=" + std::to_string(sample.Height) + "\n"));
      break;
    case Verdict::ShownWithoutSize:
      EXPECT_TRUE(Contains(transcript, "\nID_FILENAME="));
      EXPECT_FALSE(Contains(transcript, "ID_VIDEO_WIDTH"));
      break;
    case Verdict::Rejected:
      // The player gave up before it named the file.
      EXPECT_TRUE(Contains(transcript, "\nID_EXIT=EOF\n"));
      EXPECT_FALSE(Contains(transcript, "ID_FILENAME"));
      break;
  }
}

struct Replay {
  std::wstring Path;
  unsigned ChunkBytes;
  unsigned DelayMs;
  const char* What;
};

}  // namespace

class RealTranscripts : public HostTest {
 protected:
  void ExpectRealOutcome(const std::string& name) {
    const RealSample* sample = FindRealSample(name);
    ASSERT_NE(sample, nullptr);
    const std::wstring path = TranscriptPath(name);
    const std::string transcript = ReadFileBytes(path);
    ASSERT_FALSE(transcript.empty()) << "no transcript " << Utf8(path);
    ExpectTranscriptSays(*sample, transcript);

    LoadWithDefaultSettings(L"normal");
    const std::wstring crlfPath = JoinPath(workspace_.Folder(), L"crlf transcript.txt");
    WriteFileBytes(crlfPath, WithCrlfLines(transcript));
    // The real player ended by itself only when it could not play the file; a
    // playing one waited for our "quit".
    const bool endsByItself = !Contains(transcript, "ID_EXIT=QUIT");
    // Tiny writes split every marker and line across reads. The player must still
    // get to its length line within the plugin's fixed identification bound, and
    // on the emulated machine each write takes that many times longer: there the
    // pieces are that many times larger (and still cut lines and markers apart).
    const auto tiny = static_cast<unsigned>(7 * TimeScale());
    const std::string tinyWrites = std::to_string(tiny) + "-byte writes";
    for (const Replay& replay : {Replay{path, 1024, 0, "1024-byte writes"}, Replay{path, tiny, 1, tinyWrites.c_str()},
                                 Replay{crlfPath, 1024, 0, "CRLF lines"}}) {
      SCOPED_TRACE(replay.What);
      ExpectReplayOutcome(*sample, replay, endsByItself);
    }
  }

  void ExpectReplayOutcome(const RealSample& sample, const Replay& replay, bool endsByItself) {
    HWND lister = CreateFreeListerWindow();
    const OuterSize unplaced = OuterSizeOf(lister);
    std::string script = "replay " + Utf8(replay.Path) + " " + std::to_string(replay.ChunkBytes) + " " +
                         std::to_string(replay.DelayMs) + "\n";
    if (endsByItself) script += "exit 0\n";

    const Stopwatch stopwatch;
    const OpenedView opened = workspace_.Open(lister, script, L"C:\\videos\\" + FromUtf8(sample.Name));
    ReportOpenTime(std::string(sample.Name) + ", " + replay.What, stopwatch.Milliseconds());

    switch (sample.Expected) {
      case Verdict::Shown:
        EXPECT_NE(opened.View, nullptr);
        EXPECT_EQ(OuterSizeOf(lister), NormalPlacementFor(sample.Width, sample.Height));
        break;
      case Verdict::ShownWithoutSize:
        EXPECT_NE(opened.View, nullptr);
        EXPECT_EQ(OuterSizeOf(lister), unplaced);
        break;
      case Verdict::Rejected:
        EXPECT_EQ(opened.View, nullptr);
        EXPECT_EQ(GetWindow(lister, GW_CHILD), nullptr);
        EXPECT_EQ(OuterSizeOf(lister), unplaced);
        EXPECT_TRUE(WaitUntil([&] { return PlayerEnded(opened.Log); })) << "no player outlives ListLoadW";
        break;
    }
    if (opened.View != nullptr) workspace_.Host().CloseWindow(opened.View);
    DestroyListerWindow(lister);
  }
};

TEST_F(RealTranscripts, EveryTranscriptHasAnExpectation) {
  const std::vector<std::string> names = TranscribedSamples();
  EXPECT_EQ(names.size(), std::size(kRealSamples)) << "transcripts in " << Utf8(TranscriptFolder());
  for (const std::string& name : names) EXPECT_NE(FindRealSample(name), nullptr) << name;
}

TEST_F(RealTranscripts, Mp4Video) { ExpectRealOutcome("sample-320x240.mp4"); }
TEST_F(RealTranscripts, MatroskaVideo) { ExpectRealOutcome("sample-640x360.mkv"); }
TEST_F(RealTranscripts, AviVideo) { ExpectRealOutcome("sample-640x480.avi"); }
TEST_F(RealTranscripts, FileNameWithBlankAndNonAsciiLetter) { ExpectRealOutcome("clip with blank \xC3\xBC.mp4"); }
TEST_F(RealTranscripts, AudioOnlyKeepsTheViewWithoutSize) { ExpectRealOutcome("audio-only.mp4"); }
TEST_F(RealTranscripts, CorruptFileIsRejected) { ExpectRealOutcome("corrupt.avi"); }
TEST_F(RealTranscripts, TruncatedFileIsRejected) { ExpectRealOutcome("truncated.mp4"); }

// The real player's decoder warnings over a damaged video, more than the output
// pipe holds, replayed spread over the length the player reported: the player
// prints them all while the view stays open, and then still takes commands.
TEST_F(RealTranscripts, DamagedVideoPlaysToItsEnd) {
  const std::string name = "damaged-640x360.avi";
  const std::wstring path = TranscriptPath(name);
  const std::string transcript = ReadFileBytes(path);
  ASSERT_GT(transcript.size(), 64u * 1024) << "the warnings must outgrow the pipe's buffer";
  const size_t length = transcript.find("\nID_LENGTH=");
  ASSERT_NE(length, std::string::npos);
  const double playMs = 1000.0 * std::strtod(transcript.c_str() + length + 11, nullptr);
  constexpr size_t kChunkBytes = 512;
  const auto delayMs = static_cast<unsigned>(playMs * kChunkBytes / static_cast<double>(transcript.size()));

  LoadWithDefaultSettings(L"normal");
  const OpenedView opened = workspace_.Open(
      lister_, "replay " + Utf8(path) + " " + std::to_string(kChunkBytes) + " " + std::to_string(delayMs) +
                   "\nmark played\n",
      L"C:\\videos\\" + FromUtf8(name));
  ASSERT_NE(opened.View, nullptr);
  EXPECT_EQ(OuterSizeOf(lister_), NormalPlacementFor(640, 360));
  EXPECT_TRUE(opened.Log.WaitForEvent("mark played", std::chrono::milliseconds(static_cast<int>(playMs) + 20000)))
      << "the player was held by its own output";
  EXPECT_TRUE(IsWindow(opened.View));
  SendMessageW(opened.View, WM_KEYDOWN, VK_SPACE, 1);
  EXPECT_TRUE(opened.Log.WaitForInput("pause\n")) << opened.Log.StandardInput();
  workspace_.Host().CloseWindow(opened.View);
}
