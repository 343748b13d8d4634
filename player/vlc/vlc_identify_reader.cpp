#include "vlc_identify_reader.h"

#include <algorithm>

#include "message_wait.h"
#include "output_reader.h"
#include "player_context.h"
#include "player_pipes.h"
#include "vlc_identification.h"

namespace {

constexpr DWORD kReadSize = 4096;
// VLC answers at once, with what it knows so far: the next questions wait a
// little, so that it is not kept busy answering.
constexpr DWORD kAskAgainMs = 40;
// A VLC that lost a question (or never answers) is asked again after this.
constexpr DWORD kUnansweredMs = 1000;

}  // namespace

VideoSize ReadVlcIdentification(ReaderHandover& reads, PlayerContext& context, ULONGLONG deadlineTick) {
  VlcIdentification identification;
  char buffer[kReadSize];
  ULONGLONG nextAsk = GetTickCount64();  // the first questions at once
  ULONGLONG unansweredAt = 0;
  bool asked = false;  // questions are out, their answers not all in
  do {
    const ULONGLONG now = GetTickCount64();
    if (asked && identification.Answered()) {
      asked = false;
      nextAsk = now + kAskAgainMs;
    } else if (asked && now >= unansweredAt) {
      asked = false;
      nextAsk = now;
    }
    if (!asked && now >= nextAsk) {
      // A question cut off by the bound would glue the first command to its remains.
      context.CommandCut = !WritePipe(context.CommandPipe, VlcIdentification::Request(), deadlineTick);
      if (context.CommandCut) {
        // Refused before the bound: VLC has closed the connection, as it does when it ends.
        if (GetTickCount64() < deadlineTick) identification.OnEnded();
        break;
      }
      identification.OnAsked();
      asked = true;
      unansweredAt = GetTickCount64() + kUnansweredMs;
    }
    DWORD got = 0;
    const ULONGLONG readUntil = std::min(deadlineTick, asked ? unansweredAt : nextAsk);
    const ReadOutcome outcome = reads.Read(context.Process, buffer, kReadSize, got, readUntil);
    if (outcome == ReadOutcome::Data) identification.OnRead({buffer, got});
    if (outcome == ReadOutcome::Ended) identification.OnEnded();
  } while (!identification.Done() && GetTickCount64() < deadlineTick);
  return identification.Result();
}
