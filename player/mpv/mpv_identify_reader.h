#pragma once
#include <windows.h>

#include "player.h"

class ReaderHandover;

// mpv's identification (mpv_dialect.h) through its control pipe, once connected
// (the context's command pipe): asks, and reads the answers through |reads|
// until |deadlineTick|. A player that ended with exit code 2 could not play the
// file.
VideoSize ReadMpvIdentification(ReaderHandover& reads, PlayerContext& context, ULONGLONG deadlineTick);
