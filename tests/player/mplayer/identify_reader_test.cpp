// The identify reader on real pipes, with the test as the player: what ends the
// reading, and that the bound holds however the player writes.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "identify_checks.h"
#include "identify_reader.h"
#include "player_pipes.h"

namespace {

constexpr DWORD kShortBoundMs = 300;
// Generous: a reader that ignored its bound would be far beyond this.
constexpr double kShortBoundWithSlackMs = kShortBoundMs + 2000.0;

void Write(HANDLE pipe, const std::string& bytes) {
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  ASSERT_EQ(written, bytes.size());
}

}  // namespace

TEST(IdentifyReader, UnusableHandleRejectsWithoutReading) {
  EXPECT_EQ(ReadVideoSize(nullptr, nullptr, kShortBoundMs), (VideoSize{-1, -1}));
  EXPECT_EQ(ReadVideoSize(INVALID_HANDLE_VALUE, nullptr, kShortBoundMs), (VideoSize{-1, -1}));
}

TEST(IdentifyReader, WriterGoneEndsTheReadingAtOnce) {
  PlayerPipes pipes = CreatePlayerPipes();
  Write(pipes.OutputWrite.Get(), "ID_FILENAME=a.avi\nID_VIDEO_WIDTH=640\nID_VIDEO_HEIGHT=480\n");
  pipes.OutputWrite.Reset();
  const Stopwatch stopwatch;
  EXPECT_EQ(ReadVideoSize(pipes.OutputRead.Get(), nullptr, kIdentifyBoundMs), (VideoSize{640, 480}));
  EXPECT_LT(stopwatch.Milliseconds(), kIdentifyBoundMs / 2.0);
}

TEST(IdentifyReader, LengthLineInTheFileLinesReadEndsTheReading) {
  PlayerPipes pipes = CreatePlayerPipes();
  Write(pipes.OutputWrite.Get(), "ID_FILENAME=a.avi\nID_VIDEO_WIDTH=320\nID_VIDEO_HEIGHT=240\nID_LENGTH=2.00\n");
  const Stopwatch stopwatch;
  // The writer stays open and silent: only the bound could end another read.
  EXPECT_EQ(ReadVideoSize(pipes.OutputRead.Get(), nullptr, kIdentifyBoundMs), (VideoSize{320, 240}));
  EXPECT_LT(stopwatch.Milliseconds(), kIdentifyBoundMs / 2.0);
}

TEST(IdentifyReader, BoundEndsTheReadingWithWhatWasRead) {
  PlayerPipes pipes = CreatePlayerPipes();
  Write(pipes.OutputWrite.Get(), "ID_FILENAME=a.avi\n");
  Write(pipes.OutputWrite.Get(), "ID_VIDEO_WIDTH=640\nID_VIDEO_HEIGHT=360\n");
  const Stopwatch stopwatch;
  EXPECT_EQ(ReadVideoSize(pipes.OutputRead.Get(), nullptr, kShortBoundMs), (VideoSize{640, 360}));
  const double took = stopwatch.Milliseconds();
  EXPECT_GE(took, kShortBoundMs - 50.0) << "the silent writer was waited for";
  EXPECT_LT(took, kShortBoundWithSlackMs);
}

TEST(IdentifyReader, BoundHoldsAgainstAWriterThatNeverPauses) {
  PlayerPipes pipes = CreatePlayerPipes();
  std::atomic<bool> stop{false};
  // Always ahead of the reader, so that every read finds data waiting.
  std::thread flood([&pipes, &stop] {
    const std::string block(64 * 1024, 'A');
    DWORD written = 0;
    while (!stop && WriteFile(pipes.OutputWrite.Get(), block.data(), static_cast<DWORD>(block.size()), &written,
                              nullptr)) {
    }
  });
  const Stopwatch stopwatch;
  EXPECT_EQ(ReadVideoSize(pipes.OutputRead.Get(), nullptr, kShortBoundMs), (VideoSize{0, 0}));
  EXPECT_LT(stopwatch.Milliseconds(), kShortBoundWithSlackMs);
  stop = true;
  pipes.OutputRead.Reset();  // a write blocked on a full pipe now fails
  flood.join();
}
