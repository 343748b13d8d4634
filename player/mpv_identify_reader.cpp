#include "mpv_identify_reader.h"

#include <optional>

#include "control_pipe.h"
#include "message_wait.h"
#include "mpv_dialect.h"
#include "player_pipes.h"

namespace {

constexpr DWORD kReadSize = 4096;

// The player's exit code once it has ended, waiting for that until the deadline.
std::optional<std::uint32_t> ExitCodeBy(HANDLE process, ULONGLONG deadlineTick) {
  const HANDLE watched[] = {process};
  DWORD code = 0;
  if (WaitAnsweringSentMessages(watched, deadlineTick) != 0 || !GetExitCodeProcess(process, &code)) {
    return std::nullopt;
  }
  return code;
}

}  // namespace

IdentifyOutcome ReadMpvIdentification(PlayerContext& context, const std::wstring& controlPipe, DWORD boundMs) {
  const ULONGLONG deadline = DeadlineAfter(boundMs);
  context.CommandPipe = ConnectControlPipe(controlPipe, context.Process, deadline);
  if (context.CommandPipe == nullptr) {
    context.Running = false;
    // Only a player that has already ended has an exit code to tell.
    if (ExitCodeBy(context.Process, 0) == kMpvCannotPlayExitCode) return {{-1, -1}};
    return {{-1, -1}, true};
  }

  MpvIdentification identification;
  WritePipe(context.CommandPipe, MpvIdentification::Requests(), deadline);
  char buffer[kReadSize];
  // A player that writes faster than we read never lets a read wait: the bound
  // is checked between reads as well as within them.
  while (!identification.Done() && GetTickCount64() < deadline) {
    DWORD got = 0;
    const ReadOutcome outcome = ReadPipe(context.CommandPipe, context.Process, buffer, kReadSize, got, deadline);
    if (outcome == ReadOutcome::TimedOut) break;
    if (outcome == ReadOutcome::Data) identification.OnRead({buffer, got});
    if (outcome == ReadOutcome::Ended) identification.OnEnded(ExitCodeBy(context.Process, deadline));
  }
  return {identification.Result()};
}
