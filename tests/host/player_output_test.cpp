// Draining the player's output on real pipes, with the test as the player: only
// what is pending, in reads of at most 1024 bytes, and never a wait for more.
#include <gtest/gtest.h>

#include <string>

#include "identify_checks.h"
#include "player_pipes.h"
#include "player_process.h"
#include "plugin_call_spy.h"

namespace {

void ExpectDrained(DWORD pending, size_t expectedReads) {
  SCOPED_TRACE(std::to_string(pending) + " bytes pending");
  PlayerPipes pipes = CreatePlayerPipes();
  const std::string output(pending, 'A');
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(pipes.OutputWrite.Get(), output.data(), pending, &written, nullptr));

  // The drain is linked into this program: its reads go through this program's imports.
  PluginCallSpy spy(GetModuleHandleW(nullptr));
  const Stopwatch stopwatch;
  // The writer stays open and silent: a read that waited for more would not come back.
  const std::wstring drained = DrainPlayerOutput(pipes.OutputRead.Get());
  EXPECT_LT(stopwatch.Milliseconds(), 500.0);

  size_t reads = 0;
  for (const SpiedCall& call : spy.CallsTo("ReadFile")) {
    EXPECT_EQ(call.Target, pipes.OutputRead.Get());
    EXPECT_LE(call.Size, 1024u);
    ++reads;
  }
  EXPECT_EQ(reads, expectedReads);
  EXPECT_EQ(drained, std::wstring(pending, L'A'));
  EXPECT_EQ(PipeBytesPending(pipes.OutputRead.Get()), 0u);
}

}  // namespace

TEST(PlayerOutput, DrainReadsOnlyWhatIsPendingAndNeverWaits) {
  ExpectDrained(0, 0);
  ExpectDrained(1500, 2);
  ExpectDrained(2048, 2);  // two full reads, and no third that would wait
  ExpectDrained(5000, 5);
}
