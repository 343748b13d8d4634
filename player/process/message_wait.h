#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <span>

// The host's user-interface thread may not simply block: the player's video
// window is a child of our view window, so the player sends messages to this
// thread and would wait for us while we wait for it. These waits answer sent
// messages and leave posted ones in the queue for the host's own loop.

constexpr int kWaitTimedOut = -1;
constexpr int kWaitFailed = -2;

// The index of the first handle signalled before |deadlineTick| (GetTickCount64
// milliseconds), or kWaitTimedOut, or kWaitFailed.
int WaitAnsweringSentMessages(std::span<const HANDLE> handles, ULONGLONG deadlineTick);

ULONGLONG DeadlineAfter(DWORD milliseconds);

// The process's exit code once it has ended, waiting for that until
// |deadlineTick|; nothing when it is still running then.
std::optional<std::uint32_t> ExitCodeBy(HANDLE process, ULONGLONG deadlineTick);
