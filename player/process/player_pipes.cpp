#include "player_pipes.h"

#include <atomic>
#include <string>

#include "message_wait.h"

namespace {

constexpr DWORD kOutputBufferSize = 64 * 1024;  // slack for a player whose output nobody reads for a while
constexpr DWORD kCommandBufferSize = 4096;

}  // namespace

std::wstring UniquePipeName() {
  static std::atomic<unsigned> counter{0};
  return L"\\\\.\\pipe\\reelpane-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(++counter) + L"-" + std::to_wstring(GetTickCount64());
}

namespace {

// |inbound|: we read what the player writes; otherwise we write what it reads.
void CreatePipePair(bool inbound, DWORD bufferSize, AutoCloseHandle& ours, AutoCloseHandle& theirs) {
  const std::wstring name = UniquePipeName();
  const DWORD access = (inbound ? PIPE_ACCESS_INBOUND : PIPE_ACCESS_OUTBOUND) | FILE_FLAG_OVERLAPPED |
                       FILE_FLAG_FIRST_PIPE_INSTANCE;
  AutoCloseHandle server(CreateNamedPipeW(name.c_str(), access,
                                          PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                          1, bufferSize, bufferSize, 0, nullptr));
  if (!server.IsValid()) return;
  // Not inheritable yet: the start makes the player's ends inheritable just for itself.
  const DWORD clientAccess = inbound ? GENERIC_WRITE | FILE_READ_ATTRIBUTES : GENERIC_READ | FILE_WRITE_ATTRIBUTES;
  AutoCloseHandle client(CreateFileW(name.c_str(), clientAccess, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!client.IsValid()) return;
  ours = std::move(server);
  theirs = std::move(client);
}

BOOL FinishAfterCancel(HANDLE pipe, OVERLAPPED& pending, DWORD& transferred) {
  CancelIoEx(pipe, &pending);
  return GetOverlappedResult(pipe, &pending, &transferred, TRUE);
}

}  // namespace

PlayerPipes CreatePlayerPipes(PlayerInput input) {
  PlayerPipes pipes;
  CreatePipePair(true, kOutputBufferSize, pipes.OutputRead, pipes.OutputWrite);
  if (input == PlayerInput::CommandPipe) {
    CreatePipePair(false, kCommandBufferSize, pipes.CommandWrite, pipes.CommandRead);
  } else {
    // Not inheritable yet either, as the pipes' ends.
    const HANDLE nul =
        CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (nul != INVALID_HANDLE_VALUE) pipes.CommandRead.Reset(nul);
  }
  return pipes;
}

bool IsUsablePipe(HANDLE pipe) {
  if (pipe == nullptr || pipe == INVALID_HANDLE_VALUE) return false;
  SetLastError(NO_ERROR);
  return GetFileType(pipe) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
}

DWORD PipeBytesPending(HANDLE pipe) {
  DWORD pending = 0;
  if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &pending, nullptr)) return 0;
  return pending;
}

ReadOutcome ReadPipe(HANDLE pipe, HANDLE process, HANDLE readDone, char* buffer, DWORD size, DWORD& bytesRead,
                     ULONGLONG deadlineTick) {
  bytesRead = 0;
  OVERLAPPED pending{};
  pending.hEvent = readDone;
  if (!ReadFile(pipe, buffer, size, nullptr, &pending) && GetLastError() != ERROR_IO_PENDING) {
    return ReadOutcome::Ended;
  }
  HANDLE watched[] = {readDone, process};
  size_t watchedCount = process != nullptr ? 2 : 1;
  for (;;) {
    const int signalled = WaitAnsweringSentMessages(std::span(watched, watchedCount), deadlineTick);
    if (signalled == 0) {
      return GetOverlappedResult(pipe, &pending, &bytesRead, FALSE) ? ReadOutcome::Data : ReadOutcome::Ended;
    }
    if (signalled == 1) {
      // The player has gone: all it wrote is in the pipe already. A read still
      // pending with nothing left means another process holds its write end.
      watchedCount = 1;
      if (PipeBytesPending(pipe) > 0) continue;
      return FinishAfterCancel(pipe, pending, bytesRead) ? ReadOutcome::Data : ReadOutcome::Ended;
    }
    // The bytes may have come just as the time ran out: keep them if so.
    return FinishAfterCancel(pipe, pending, bytesRead) ? ReadOutcome::Data : ReadOutcome::TimedOut;
  }
}

bool WritePipe(HANDLE pipe, std::string_view bytes, ULONGLONG deadlineTick) {
  AutoCloseHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!done.IsValid()) return false;
  OVERLAPPED pending{};
  pending.hEvent = done.Get();
  DWORD written = 0;
  if (!WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr, &pending) &&
      GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  HANDLE watched[] = {done.Get()};
  const bool finished = WaitAnsweringSentMessages(watched, deadlineTick) == 0
                            ? GetOverlappedResult(pipe, &pending, &written, FALSE) != FALSE
                            : FinishAfterCancel(pipe, pending, written) != FALSE;
  return finished && written == bytes.size();
}
