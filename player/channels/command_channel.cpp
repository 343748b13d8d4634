#include "command_channel.h"

#include <algorithm>

#include "auto_close_handle.h"
#include "message_wait.h"
#include "player_pipes.h"

namespace {

// How long to wait before looking for the pipe again: small beside a player's start.
constexpr DWORD kRetryMs = 5;

ChannelConnection ConnectToPipe(const std::wstring& name, HANDLE player, HANDLE job, ULONGLONG deadlineTick) {
  const HANDLE watched[] = {player};
  for (;;) {
    AutoCloseHandle pipe(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                     nullptr));
    if (pipe.IsValid()) {
      ULONG server = 0;
      const bool ours = GetNamedPipeServerProcessId(pipe.Get(), &server) && IsPlayersProcess(server, player, job);
      if (ours) return {pipe.Release()};
      return {nullptr, ChannelFailure::ForeignServer};
    }
    // Not made yet, or every instance of it taken for a moment.
    const int waited = WaitAnsweringSentMessages(watched, std::min(deadlineTick, DeadlineAfter(kRetryMs)));
    if (waited == 0) return {nullptr, ChannelFailure::PlayerEnded};
    if (waited != kWaitTimedOut || GetTickCount64() >= deadlineTick) return {nullptr, ChannelFailure::TimedOut};
  }
}

void ClosePipe(HANDLE connection) { CloseHandle(connection); }

}  // namespace

bool IsPlayersProcess(DWORD processId, HANDLE player, HANDLE job) {
  if (processId == GetProcessId(player)) return true;
  if (job == nullptr) return false;
  // Windows also takes the limited right here, Wine only this one; a process in
  // our job is our own child, which grants it.
  const AutoCloseHandle server(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId));
  BOOL inJob = FALSE;
  return server.IsValid() && IsProcessInJob(server.Get(), job, &inJob) && inJob;
}

const CommandChannel kNamedPipeChannel = {UniquePipeName, ConnectToPipe, ClosePipe};
