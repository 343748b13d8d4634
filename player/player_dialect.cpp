#include "player_dialect.h"

#include "mplayer_dialect.h"
#include "mpv_dialect.h"

const PlayerDialect& DialectOf(PlayerKind kind) { return kind == PlayerKind::Mpv ? kMpvDialect : kMPlayerDialect; }
