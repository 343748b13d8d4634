#pragma once
#include <windows.h>

// Once identification is over nobody needs what the player prints, but a player
// whose output pipe fills up stops at its next write: the video freezes. This
// keeps reading that output and drops it for as long as the view is open.
struct OutputReader;

// Sets up the reading of |outputPipe| (one of our overlapped pipe ends) without
// reading yet: the player's identification is read first, on the host's thread.
// Null when the system refuses; the view then works as it did without it.
OutputReader* PrepareOutputReader(HANDLE outputPipe);

// The event the identification's reads signal: its last read leaves it set,
// which is what starts the reading in the background.
HANDLE OutputReaderEvent(const OutputReader* reader);

// From now on the output is read and dropped in the background; the reads
// happen on pool threads. Costs the calling thread one call.
void StartOutputReader(OutputReader* reader);

// Returns once no read is pending and no callback of ours runs or will run, so
// the plugin file may be unloaded right after. Call before closing the pipe.
void StopOutputReader(OutputReader* reader);
