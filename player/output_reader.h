#pragma once
#include <windows.h>

// Once identification is over nobody needs what the player prints, but a player
// whose output pipe fills up stops at its next write: the video freezes. This
// keeps reading that output and drops it for as long as the view is open.
struct OutputReader;

// Starts reading |outputPipe| (one of our overlapped pipe ends) in the background.
// Null when the system refuses; the view then works as it did without it.
OutputReader* StartOutputReader(HANDLE outputPipe);

// Returns once no read is pending and no callback of ours runs or will run, so
// the plugin file may be unloaded right after. Call before closing the pipe.
void StopOutputReader(OutputReader* reader);
