#pragma once
#include <string>

#include "player_context.h"
#include "player_process.h"

// The identification of a view's started player, with the background readers
// made ready to take over from it. Each plugin file compiles this itself
// (view_identification.cpp, as process/player_job.cpp): the bench's yardstick,
// never shipped, identifies by plain blocking reads instead.
IdentifyOutcome IdentifyViewPlayer(PlayerContext& started, const std::wstring& channelAddress);
