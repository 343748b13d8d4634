#pragma once
#include <windows.h>

#include "player.h"

class ReaderHandover;

// VLC's identification (vlc_identification.h) through its remote control, once
// connected (the context's command pipe): asks, again each time the answers
// have come, and reads them through |reads| until |deadlineTick|.
VideoSize ReadVlcIdentification(ReaderHandover& reads, PlayerContext& context, ULONGLONG deadlineTick);
