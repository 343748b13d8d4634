#pragma once
#include <windows.h>

#include <string>
#include <string_view>

#include "auto_close_handle.h"

// The player's standard input and output. Our ends are overlapped so that no
// read or write has to block the host's thread for longer than we choose. No
// end is inheritable: the start lets only the player's own ends go to the player.
// Declared so that a failed start closes them in this order: our output end,
// our command end, the player's output end, the player's command end.
struct PlayerPipes {
  AutoCloseHandle CommandRead;   // the player's standard input
  AutoCloseHandle OutputWrite;   // the player's standard output and error
  AutoCloseHandle CommandWrite;  // ours
  AutoCloseHandle OutputRead;    // ours
};

// Where the player's standard input comes from: our command pipe, or, for a
// player that takes its commands elsewhere, the NUL device (every read ends at
// once, as for a program started "<NUL"), so that no pipe is kept for nothing.
enum class PlayerInput { CommandPipe, Empty };

// A pipe that can't be made leaves both its ends null; the start goes on.
PlayerPipes CreatePlayerPipes(PlayerInput input = PlayerInput::CommandPipe);

// A pipe name no other pipe of this process has had: "\\.\pipe\reelpane-..."
std::wstring UniquePipeName();

// Whether a handle can be used for pipe reads at all. Real Windows would also
// answer GetFileInformationByHandle here, Wine never does for pipes; GetFileType
// answers alike on both.
bool IsUsablePipe(HANDLE pipe);

// Bytes waiting in the pipe; 0 when none or when the pipe has ended.
DWORD PipeBytesPending(HANDLE pipe);

enum class ReadOutcome { Data, Ended, TimedOut };

// Reads at most |size| bytes from one of our overlapped pipe ends: returns as
// soon as the player has written something, the pipe has ended, |process| (if
// given) has ended with nothing left to read, or the deadline has come. The
// read signals |readDone| (a manual-reset event) when it ends.
ReadOutcome ReadPipe(HANDLE pipe, HANDLE process, HANDLE readDone, char* buffer, DWORD size, DWORD& bytesRead,
                     ULONGLONG deadlineTick);

// Writes the bytes to our overlapped command end, giving up at the deadline
// (a player that stopped reading must not hold the host). True when all of
// them were written.
bool WritePipe(HANDLE pipe, std::string_view bytes, ULONGLONG deadlineTick);
