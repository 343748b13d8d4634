// Players that misbehave in every way we know of. Whatever the player does,
// ListLoadW holds the host's thread no longer than the identification bound,
// ListCloseWindow no longer than the quit grace, one command write and the
// termination, nothing crashes and no player is left. Times are printed; the
// bounds asserted are generous, for a shared and noisy machine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "host_test.h"
#include "identify_checks.h"
#include "identify_reader.h"
#include "player_context.h"
#include "player_process.h"
#include "watched_player.h"

namespace {

// Room for a busy machine, far below what a wait without a bound would take.
constexpr double kSlackMs = 3000.0;
constexpr double kOpenBoundMs = kIdentifyBoundMs + kSlackMs;
constexpr double kCloseBoundMs = kQuitGraceMs + kCommandWriteBoundMs + kSlackMs;

const std::string kFileLine = "write ID_FILENAME=C:\\\\videos\\\\clip.avi\\n\n";


void ReportCloseTime(const std::string& what, double milliseconds) {
  std::printf("ListCloseWindow, %s: %.1f ms\n", what.c_str(), milliseconds);
}

// |count| times the same escaped byte, for a stand-in "write".
std::string Repeated(const std::string& escaped, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += escaped;
  return text;
}

}  // namespace

class TorturePlayer : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    host_ = &LoadWithDefaultSettings(L"normal");
  }

  // A player reporting |width| (with a height of 480) leaves the Lister window as it was.
  void ExpectWidthLeavesTheListerAlone(const std::string& width) {
    const OuterSize before = OuterSizeOf(lister_);
    const std::string what = "width " + width;
    const OpenedView opened = OpenWithin(
        kFileLine + "write ID_VIDEO_WIDTH=" + width + "\\nID_VIDEO_HEIGHT=480\\nID_LENGTH=12.00\\n\n", what);
    EXPECT_EQ(OuterSizeOf(lister_), before) << what;
    CloseWithin(opened, what);
  }

  // Opens with |script|, checks the time ListLoadW took, and gives the view.
  OpenedView OpenWithin(const std::string& script, const std::string& what) {
    const Stopwatch stopwatch;
    OpenedView opened = workspace_.Open(lister_, script);
    const double took = stopwatch.Milliseconds();
    ReportOpenTime(what, took);
    EXPECT_LT(took, kOpenBoundMs) << what;
    EXPECT_TRUE(opened.Log.Started()) << what;
    return opened;
  }

  // Closes the view, which must have been kept, checks the time and that the player is gone.
  void CloseWithin(const OpenedView& opened, const std::string& what) {
    ASSERT_NE(opened.View, nullptr) << what;
    const WatchedPlayer player(opened.View);
    ASSERT_TRUE(player.Watching());
    const Stopwatch stopwatch;
    host_->CloseWindow(opened.View);
    const double took = stopwatch.Milliseconds();
    ReportCloseTime(what, took);
    EXPECT_LT(took, kCloseBoundMs) << what;
    EXPECT_FALSE(IsWindow(opened.View));
    EXPECT_EQ(GetWindow(lister_, GW_CHILD), nullptr) << "no view window is left";
    // Ended or terminated before ListCloseWindow returned; the system may take a moment to say so.
    EXPECT_TRUE(player.Ended(3000)) << what << ": the player outlived the close";
  }

  // Opens and closes, expecting a view that is kept (the player may still play).
  void OpenKeptAndClose(const std::string& script, const std::string& what) {
    CloseWithin(OpenWithin(script, what), what);
  }

  // Presses |key| until one press's command could not be written whole (the
  // command pipe is full: the view records it); how many went through before,
  // or -1 if none was. Each press must return within the write bound.
  int PressUntilBlocked(HWND view, WPARAM key) {
    for (int pressed = 0; pressed < 2000; ++pressed) {
      const Stopwatch stopwatch;
      SendMessageW(view, WM_KEYDOWN, key, 1);
      EXPECT_LT(stopwatch.Milliseconds(), kCommandWriteBoundMs + kSlackMs) << "key " << key << " press " << pressed;
      if (StoredContext(view).CommandCut) return pressed;
    }
    return -1;
  }

  PluginHost* host_ = nullptr;
};

TEST_F(TorturePlayer, ExitsAtOnce) { OpenKeptAndClose("exit 0\n", "exits at once"); }

TEST_F(TorturePlayer, ExitsAtOnceWithAFailureCode) {
  OpenKeptAndClose("exit 255\n", "exits at once with 255");
}

TEST_F(TorturePlayer, CrashesAfterItsFileLine) {
  const OpenedView opened = OpenWithin(kFileLine + "crash\n", "crashes after the file line");
  EXPECT_TRUE(opened.Log.HasEvent("crash"));
  CloseWithin(opened, "crashed player");
}

TEST_F(TorturePlayer, CrashesWhileTheHostWaitsForItsLengthLine) {
  const OuterSize before = OuterSizeOf(lister_);
  const OpenedView opened =
      OpenWithin(kFileLine + "sleep 200\nwrite ID_VIDEO_WIDTH=640\\nID_VID\ncrash\n", "crashes mid-line");
  EXPECT_EQ(OuterSizeOf(lister_), before) << "a width without a height places nothing";
  CloseWithin(opened, "crashed mid-line");
}

// Binary noise with marker fragments, bytes above 0x7F, lone carriage returns
// and markers without values, then the player exits.
TEST_F(TorturePlayer, WritesGarbage) {
  const std::string garbage =
      "write \\xff\\xfe\\x01ID_\\x80\\x81ID_FILENAM\\rE=\\x00junk\n"
      "write \\x9f\\xa0ID_EXIT\\r=EOF ID_FILENAME\\xc3\n"
      "write ID_VIDEO_WIDTH=\\xff\\x01\\nID_VIDEO_HEIGHT\\nID_LENGTH\n"
      "write \\x1b[2J\\x07ID_VIDEO_WIDTH==\\n\\r\\n\\x7f\n"
      "exit 3\n";
  const OpenedView opened = OpenWithin(garbage, "garbage");
  CloseWithin(opened, "garbage");
}

// Reads that bring only zero bytes are not empty reads: they end no stage, so
// only the bound ends the wait for a player that stays.
TEST_F(TorturePlayer, WritesOnlyZeroBytesAndStays) {
  const std::string zeros = "write " + Repeated("\\0", 3000) + "\n";
  const OpenedView opened = OpenWithin(zeros + "sleep 100\n" + zeros, "zero bytes, stays");
  CloseWithin(opened, "zero bytes");
}

// The exit line behind a zero byte is not read, so the file is not rejected.
TEST_F(TorturePlayer, ZeroBytesHideTheMarkersBehindThem) {
  const OpenedView opened = OpenWithin(
      "write \\0ID_EXIT=EOF\\nID_FILENAME=a.avi\\n\nwrite \\0ID_FILENAME=a.avi\\nID_LENGTH=1\\n\nexit 0\n",
      "markers behind zero bytes");
  CloseWithin(opened, "markers behind zero bytes");
}

// 10 MB without a line feed: the reads keep finding data, so only the bound
// ends them; the text kept is capped; the player is then blocked on a full pipe.
TEST_F(TorturePlayer, Writes10MegabytesWithoutALineFeed) {
  const OpenedView opened = OpenWithin("flood 10485760\n", "10 MB without a line feed");
  CloseWithin(opened, "10 MB flood");
}

TEST_F(TorturePlayer, Writes10MegabytesAfterItsFileLine) {
  const OpenedView opened = OpenWithin(kFileLine + "flood 10485760\n", "file line, then 10 MB");
  CloseWithin(opened, "file line, then 10 MB");
}

// A player that keeps printing after its identification, as a damaged video
// makes the real one print decoder warnings: the view reads and drops its output
// all along, so no write of the player ever waits on a full pipe, and keys
// pressed meanwhile reach it in order. The reading has ended when the close
// returns: the host may unload the plugin file right after.
TEST_F(TorturePlayer, KeepsPrintingAfterItsIdentification) {
  const std::string warning = "[h264 @ 0x0]concealing 1620 DC, 1620 AC, 1620 MV errors in P frame\\n";
  const OpenedView opened = OpenWithin(IdentifyScript(640, 480) + "mark printing\nrepeat 3000 1 " + warning +
                                           "\nmark printed\nflood 2000000000\n",
                                       "3000 lines");
  ASSERT_NE(opened.View, nullptr);
  ASSERT_TRUE(opened.Log.WaitForEvent("mark printing"));

  const std::pair<WPARAM, std::string> keys[] = {{VK_SPACE, "pause"}, {VK_RIGHT, "seek +10"}, {'H', "loop 1"},
                                                 {'I', "osd_show_progression"}, {VK_UP, "seek +60"},
                                                 {'M', "mute 1"}, {VK_SPACE, "pause"}};
  std::string expected;
  for (const auto& [key, command] : keys) {
    SendMessageW(opened.View, WM_KEYDOWN, key, 1);
    expected += command + "\n";
    PumpMessages(100);
  }
  EXPECT_FALSE(opened.Log.HasEvent("mark printed")) << "the keys were to come while the player printed";
  EXPECT_TRUE(opened.Log.WaitForEvent("mark printed", std::chrono::seconds(30)))
      << "the player was held by its own output";
  EXPECT_TRUE(IsWindow(opened.View));
  EXPECT_TRUE(opened.Log.WaitForInput(expected)) << opened.Log.StandardInput();
  CloseWithin(opened, "printing without end");
  host_->Unload();
  PumpMessages(300);  // a read of the plugin's still coming back would now crash the host
}

// A player that floods without pause from its identification on: ListLoadW
// still returns at once (the host's thread never reads the flood itself), and
// the player then quits when told, within the grace.
TEST_F(TorturePlayer, FloodsWithoutEndAfterItsIdentification) {
  const OpenedView opened = OpenWithin(IdentifyScript(640, 480) + "flood 1000000000000\n", "endless flood");
  ASSERT_NE(opened.View, nullptr);
  const WatchedPlayer player(opened.View);
  CloseWithin(opened, "endless flood");
  EXPECT_EQ(player.ExitCode(), 0u) << "terminated: it did not get to its quit within the grace";
}

// A flooding player's close, with the plugin file unloaded right after it, again
// and again: once the close returns no callback of the plugin's runs or comes.
TEST_F(TorturePlayer, FloodingPlayersClosedAndThePluginUnloadedRightAfter) {
  // Fewer in the emulated lane, where each player's start takes seconds.
  const int cycles = TimeScale() > 1 ? 20 : 200;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    PluginHost& host = workspace_.LoadPlugin();
    const OpenedView opened = workspace_.Open(lister_, IdentifyScript(640, 480) + "flood 1000000000000\n");
    ASSERT_NE(opened.View, nullptr) << "cycle " << cycle;
    host.CloseWindow(opened.View);
    host.Unload();
  }
  PumpMessages(300);  // a callback coming back into the unloaded file would crash the host now
}

// Reading that was called off from outside (as the exit of the pool thread that
// issued a read calls it off on Windows) is taken up again: the player is never
// held by a full output pipe.
TEST_F(TorturePlayer, ReadingCalledOffIsTakenUpAgain) {
  const OpenedView opened =
      OpenWithin(IdentifyScript(640, 480) + "await vo_fullscreen\nflood 204800\nmark flooded\n", "called off");
  ASSERT_NE(opened.View, nullptr);
  const HANDLE output = StoredContext(opened.View).OutputPipe;
  EXPECT_TRUE(WaitUntil([&] { return CancelIoEx(output, nullptr) != FALSE; })) << "no read to call off";
  EXPECT_EQ(host_->SendCommand(opened.View, 2), 0);  // the player's go-ahead
  EXPECT_TRUE(opened.Log.WaitForEvent("mark flooded", std::chrono::seconds(10)))
      << "the player was held by its own output";
  CloseWithin(opened, "reading called off");
}

// A command whose write ran out of time may have left the start of its line in
// the pipe (Windows lets a player read into a write that still waits): the next
// command begins with a line end, so that the player reads it as a line of its own.
TEST_F(TorturePlayer, CommandAfterADroppedOneIsALineOfItsOwn) {
  const OpenedView opened = OpenWithin(
      IdentifyScript(640, 480) + "stop-reading\nawait-file go-ahead\nresume-reading\n", "drops a command");
  ASSERT_NE(opened.View, nullptr);
  ASSERT_GT(PressUntilBlocked(opened.View, VK_RIGHT), 0) << "the command pipe never filled";
  WriteFileBytes(JoinPath(opened.Log.Folder(), L"go-ahead"), "");
  SendMessageW(opened.View, WM_KEYDOWN, VK_SPACE, 1);
  EXPECT_TRUE(opened.Log.WaitForEvent("command pause")) << opened.Log.StandardInput();
  for (const std::string& event : opened.Log.Events()) {
    if (event.rfind("command ", 0) != 0) continue;
    const std::string line = event.substr(8);
    EXPECT_TRUE(line == "seek +10" || line == "pause" || line.empty()) << "the player read \"" << line << "\"";
  }
  CloseWithin(opened, "dropped a command");
}

// Only the low 32 bits count: 99999999999 keeps 1215752191, a width no window
// can have; the Lister window stays where it was instead of leaving the screen.
TEST_F(TorturePlayer, WidthOf99999999999) { ExpectWidthLeavesTheListerAlone("99999999999"); }

TEST_F(TorturePlayer, WidthOfMinus0x7fffffff) { ExpectWidthLeavesTheListerAlone("-0x7fffffff"); }

TEST_F(TorturePlayer, WritesNothingAndStays) {
  const OpenedView opened = OpenWithin("", "writes nothing, stays");
  CloseWithin(opened, "writes nothing");
}

// Standard input closed before any command: every write fails at once, and the
// close waits out the grace and terminates.
TEST_F(TorturePlayer, ClosesItsStandardInputEarly) {
  const OpenedView opened = OpenWithin("close-stdin\n" + IdentifyScript(640, 480), "closes its standard input");
  ASSERT_NE(opened.View, nullptr);
  ASSERT_TRUE(opened.Log.WaitForEvent("stdin-closed"));
  for (WPARAM key : {WPARAM{VK_SPACE}, WPARAM{'H'}, WPARAM{'M'}, WPARAM{'I'}, WPARAM{VK_RIGHT}}) {
    const Stopwatch stopwatch;
    SendMessageW(opened.View, WM_KEYDOWN, key, 1);
    EXPECT_LT(stopwatch.Milliseconds(), kCommandWriteBoundMs + kSlackMs) << "key " << key;
  }
  EXPECT_EQ(host_->SendCommand(opened.View, 2), 0);
  CloseWithin(opened, "standard input closed");
}

// A player that no longer reads its standard input: once the command pipe is
// full, every key gives up after the write bound, and the close still ends
// within the grace, the write bound of its "quit" and the termination.
TEST_F(TorturePlayer, StopsReadingUntilTheCommandPipeIsFull) {
  const OpenedView opened =
      OpenWithin("stop-reading\nignore-quit\n" + IdentifyScript(640, 480), "stops reading");
  ASSERT_NE(opened.View, nullptr);

  // Long commands first, then Q's "quit\n", so that not even the closing "quit" fits.
  const int longKeys = PressUntilBlocked(opened.View, VK_OEM_1);  // "brightness -1\n"
  const int quitKeys = PressUntilBlocked(opened.View, 'Q');
  ASSERT_GT(longKeys, 0) << "the command pipe never filled";
  ASSERT_GE(quitKeys, 0);
  std::printf("stops reading: the pipe was full after %d keys and %d quits; the keys then took", longKeys,
              quitKeys);
  for (WPARAM key : {WPARAM{VK_SPACE}, WPARAM{'H'}, WPARAM{'M'}, WPARAM{'I'}}) {
    const Stopwatch stopwatch;
    SendMessageW(opened.View, WM_KEYDOWN, key, 1);
    const double took = stopwatch.Milliseconds();
    std::printf(" %.1f", took);
    EXPECT_LT(took, kCommandWriteBoundMs + kSlackMs) << "key " << key;
  }
  std::printf(" ms\n");
  // The toggles' commands were dropped: the player was told nothing, so the view's state stays.
  EXPECT_FALSE(StoredContext(opened.View).Looping);
  EXPECT_FALSE(StoredContext(opened.View).Muted);
  CloseWithin(opened, "command pipe full");
}
