#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "auto_close_handle.h"
#include "player_pipes.h"

// A started player: its process, the job that holds it, and our ends of its pipes.
struct StartedPlayer {
  AutoCloseHandle Process;
  AutoCloseHandle Job;           // ends the process and all it started when closed; invalid where jobs are refused
  AutoCloseHandle CommandWrite;  // ours, of its standard input; null for PlayerInput::Empty
  AutoCloseHandle OutputRead;    // ours, of its standard output and error
};

// The one way a player is started, for a view and for a thumbnail alike: its
// pipes made, |commandLine| started detached with only its own pipe ends
// inherited (they are inheritable just for the start), and run only once it is
// in a job of its own, so it can start nothing outside it. It runs in
// |currentFolder| when one is given, else in the host's current folder. The
// player's ends are closed here once it holds its own copies. Nothing when the
// process can't be created (its pipes closed again); nothing is shown to the
// user here.
std::optional<StartedPlayer> StartPlayerProcess(std::wstring commandLine, PlayerInput input,
                                                const wchar_t* currentFolder = nullptr);

// Ends the player at once with exit code 0xFFFFFFFF: everything in its |job| (the
// real player behind a launcher too), or |process| alone where it has no job.
// Returns without waiting for the processes to be gone.
void TerminatePlayer(HANDLE process, HANDLE job);

struct PlayerRun {
  bool EndedByItself = false;
  std::string Output;  // what it printed, up to 64 KiB
};

// Runs one command line in |folder| to its end, reading what it prints (a player
// whose output nobody reads would stop at its next write), or until |deadlineTick|
// (GetTickCount64 milliseconds): a player still running then is ended, with
// everything it started, and gone soon after. Its standard input ends at once.
PlayerRun RunPlayer(const std::wstring& commandLine, const std::wstring& folder, ULONGLONG deadlineTick);
