#include "view_identification.h"

#include "output_reader.h"
#include "player.h"
#include "player_watch.h"

#if defined(REELPANE_BENCH_BLOCKING_DESIGN)
#include "identify_reader.h"
#endif

IdentifyOutcome IdentifyViewPlayer(PlayerContext& started, [[maybe_unused]] const std::wstring& channelAddress) {
#if defined(REELPANE_BENCH_BLOCKING_DESIGN)
  // MPlayer's alone, by plain blocking reads (no bound, no message answered);
  // nobody reads the output afterwards.
  return {IdentifyEnd::Identified, ReadVideoSizeBlocking(started.OutputPipe)};
#else
  // Made now, while the player starts, so that the load pays little for it afterwards.
  // A player that reports on its output (not on a channel of its own) has it
  // watched; one with a channel has only the output's end told: it ends with the
  // player, where the end of a socket may go unseen (under Wine).
  started.Reader = PrepareOutputReader(
      started.OutputPipe, started.Player->Channel == nullptr ? SinkOf(started.Watch) : EndOf(started.Watch));
  return IdentifyPlayer(started, channelAddress);
#endif
}
