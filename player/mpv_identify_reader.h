#pragma once
#include <windows.h>

#include <string>

#include "identify_reader.h"
#include "player_context.h"

// mpv's identification (mpv_dialect.h), within the same bound as MPlayer's, the
// connection included: connects to the control pipe |controlPipe| that mpv
// serves, which becomes the view's command pipe, asks, and reads the answers.
// The pipe's reader for the rest of the view's life is prepared here
// (ControlReader), for the caller to start. No connection leaves the command pipe null and |Running| false (nothing can ask
// that player to quit): a player that ended with exit code 2 could not play the
// file; any other never served its pipe.
IdentifyOutcome ReadMpvIdentification(PlayerContext& context, const std::wstring& controlPipe,
                                     DWORD boundMs = kIdentifyBoundMs);
