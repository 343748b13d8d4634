#include "mpv_identify_reader.h"

#include "message_wait.h"
#include "mpv_dialect.h"
#include "output_reader.h"
#include "player_context.h"
#include "player_pipes.h"

namespace {

constexpr DWORD kReadSize = 4096;

}  // namespace

VideoSize ReadMpvIdentification(ReaderHandover& reads, PlayerContext& context, ULONGLONG deadlineTick) {
  // A request cut off by the bound would glue the first command to its remains.
  context.CommandCut = !WritePipe(context.CommandPipe, MpvIdentification::Requests(), deadlineTick);

  MpvIdentification identification;
  char buffer[kReadSize];
  // At least one read, however late the connection came. A player that writes
  // faster than we read never lets a read wait: the bound is checked between
  // reads as well as within them.
  do {
    DWORD got = 0;
    const ReadOutcome outcome = reads.Read(context.Process, buffer, kReadSize, got, deadlineTick);
    if (outcome == ReadOutcome::TimedOut) break;
    if (outcome == ReadOutcome::Data) identification.OnRead({buffer, got});
    if (outcome == ReadOutcome::Ended) identification.OnEnded(ExitCodeBy(context.Process, deadlineTick));
  } while (!identification.Done() && GetTickCount64() < deadlineTick);
  return identification.Result();
}
