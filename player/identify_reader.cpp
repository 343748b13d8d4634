#include "identify_reader.h"

#include "auto_close_handle.h"
#include "message_wait.h"
#include "player_pipes.h"

VideoSize ReadVideoSize(HANDLE outputPipe, HANDLE process, DWORD boundMs, HANDLE readDone) {
  if (!IsUsablePipe(outputPipe)) return {-1, -1};
  AutoCloseHandle ownEvent(readDone == nullptr ? CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr);
  if (readDone == nullptr) readDone = ownEvent.Get();
  if (readDone == nullptr) return {-1, -1};
  const ULONGLONG deadline = DeadlineAfter(boundMs);
  IdentifyParser parser;
  char buffer[IdentifyParser::kReadSize];
  while (parser.WantsMoreOutput()) {
    // A player that writes faster than we read never lets a read wait, so the
    // bound is checked between reads as well as within them.
    if (GetTickCount64() >= deadline) {
      parser.OnBoundReached();
      break;
    }
    DWORD got = 0;
    switch (ReadPipe(outputPipe, process, readDone, buffer, sizeof(buffer), got, deadline)) {
      case ReadOutcome::Data:
        parser.OnRead({buffer, got});
        break;
      case ReadOutcome::Ended:
        parser.OnReadFailed();
        break;
      case ReadOutcome::TimedOut:
        parser.OnBoundReached();
        break;
    }
  }
  return parser.Result();
}
