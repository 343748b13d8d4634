#pragma once
#include <windows.h>

#include "identify_parser.h"

// However the player behaves, identification ends within this time.
constexpr DWORD kIdentifyBoundMs = 5000;

// Reads the player's identification lines from our end of its output pipe and
// gives the video size; -1 by -1 when the player can't play the file. The reads
// signal |readDone| (a manual-reset event) as they end; without one, an event
// of its own.
VideoSize ReadVideoSize(HANDLE outputPipe, HANDLE process, DWORD boundMs = kIdentifyBoundMs,
                        HANDLE readDone = nullptr);

// What a player's identification found out.
struct IdentifyOutcome {
  VideoSize Size;               // -1 by -1: the player can't play the file
  bool NoControlPipe = false;   // a player that serves a control pipe never served it within the bound
};
