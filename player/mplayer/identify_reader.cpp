#include "identify_reader.h"

#include "message_wait.h"
#include "output_reader.h"
#include "player_pipes.h"

VideoSize ReadVideoSize(ReaderHandover& reads, HANDLE process, ULONGLONG deadlineTick) {
  if (!IsUsablePipe(reads.Pipe()) || !reads.Usable()) return {-1, -1};
  IdentifyParser parser;
  char buffer[IdentifyParser::kReadSize];
  while (parser.WantsMoreOutput()) {
    // A player that writes faster than we read never lets a read wait, so the
    // bound is checked between reads as well as within them.
    if (GetTickCount64() >= deadlineTick) {
      parser.OnBoundReached();
      break;
    }
    DWORD got = 0;
    switch (reads.Read(process, buffer, sizeof(buffer), got, deadlineTick)) {
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

VideoSize ReadVideoSize(HANDLE outputPipe, HANDLE process, DWORD boundMs) {
  ReaderHandover reads(outputPipe, nullptr);
  return ReadVideoSize(reads, process, DeadlineAfter(boundMs));
}

VideoSize ReadVideoSizeBlocking(HANDLE outputPipe) {
  IdentifyParser parser;
  char buffer[IdentifyParser::kReadSize];
  while (parser.WantsMoreOutput()) {
    OVERLAPPED pending{};
    DWORD got = 0;
    if ((ReadFile(outputPipe, buffer, sizeof(buffer), nullptr, &pending) || GetLastError() == ERROR_IO_PENDING) &&
        GetOverlappedResult(outputPipe, &pending, &got, TRUE)) {
      parser.OnRead({buffer, got});
    } else {
      parser.OnReadFailed();
    }
  }
  return parser.Result();
}
