#include "control_pipe.h"

#include <algorithm>

#include "auto_close_handle.h"
#include "message_wait.h"

namespace {

// How long to wait before looking for the pipe again: small beside a player's start.
constexpr DWORD kRetryMs = 5;

}  // namespace

HANDLE ConnectControlPipe(const std::wstring& name, HANDLE player, ULONGLONG deadlineTick) {
  const DWORD playerId = GetProcessId(player);
  const HANDLE watched[] = {player};
  for (;;) {
    AutoCloseHandle pipe(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                     nullptr));
    if (pipe.IsValid()) {
      ULONG server = 0;
      const bool ours = GetNamedPipeServerProcessId(pipe.Get(), &server) && server == playerId;
      return ours ? pipe.Release() : nullptr;
    }
    // Not made yet, or every instance of it taken for a moment.
    if (WaitAnsweringSentMessages(watched, std::min(deadlineTick, DeadlineAfter(kRetryMs))) != kWaitTimedOut ||
        GetTickCount64() >= deadlineTick) {
      return nullptr;
    }
  }
}
