#pragma once
#include <windows.h>

#include <string>

// The control pipe a player serves (mpv's --input-ipc-server); we are its client.
// It appears some time after the player's start.

// Connects to the pipe |name| once |player| has made it: looks again every few
// milliseconds until the deadline, answering messages sent to this thread
// meanwhile. Null when the player ends first, when the deadline comes, or when
// the pipe of that name is served by any other process than |player| (anyone may
// make a pipe of any name). The handle is overlapped, so that a read may wait
// while a command is written, and lets the player identify us but not act as us.
HANDLE ConnectControlPipe(const std::wstring& name, HANDLE player, ULONGLONG deadlineTick);
