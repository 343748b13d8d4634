#pragma once
#include <windows.h>

#include "identify_parser.h"
#include "player.h"

class ReaderHandover;

// Reads MPlayer's identification lines from our end of its output pipe through
// |reads| until |deadlineTick| and gives the video size; -1 by -1 when the player
// can't play the file (or the pipe can't be read).
VideoSize ReadVideoSize(ReaderHandover& reads, HANDLE process, ULONGLONG deadlineTick);

// The same within |boundMs|, the reads signalling an event of their own.
VideoSize ReadVideoSize(HANDLE outputPipe, HANDLE process, DWORD boundMs);

// The bench's yardstick, in no shipped plugin file: identification by plain
// blocking reads (no bound, no message answered).
VideoSize ReadVideoSizeBlocking(HANDLE outputPipe);
