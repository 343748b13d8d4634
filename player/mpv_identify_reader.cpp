#include "mpv_identify_reader.h"

#include <optional>

#include "auto_close_handle.h"
#include "control_pipe.h"
#include "message_wait.h"
#include "mpv_dialect.h"
#include "output_reader.h"
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

  // The pipe is read for the view's whole life from here on: made now, its reader
  // is started by the event that the identification's last read leaves set.
  context.ControlReader = PrepareOutputReader(context.CommandPipe);
  AutoCloseHandle ownEvent(context.ControlReader == nullptr ? CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr);
  const HANDLE readDone = context.ControlReader != nullptr ? OutputReaderEvent(context.ControlReader) : ownEvent.Get();
  if (readDone == nullptr) return {{-1, -1}};  // no pipe can be read: as a player that can't play the file
  // A request cut off by the bound would glue the first command to its remains.
  context.CommandCut = !WritePipe(context.CommandPipe, MpvIdentification::Requests(), deadline);

  MpvIdentification identification;
  char buffer[kReadSize];
  // At least one read, so that the event is set however late the connection came.
  // A player that writes faster than we read never lets a read wait: the bound is
  // checked between reads as well as within them.
  do {
    DWORD got = 0;
    const ReadOutcome outcome =
        ReadPipe(context.CommandPipe, context.Process, readDone, buffer, kReadSize, got, deadline);
    if (outcome == ReadOutcome::TimedOut) break;
    if (outcome == ReadOutcome::Data) identification.OnRead({buffer, got});
    if (outcome == ReadOutcome::Ended) identification.OnEnded(ExitCodeBy(context.Process, deadline));
  } while (!identification.Done() && GetTickCount64() < deadline);
  return {identification.Result()};
}
