#pragma once
#include "player_dialect.h"

// MPlayer in slave mode: the command line of ComposePlayerCommandLine, slave
// commands on its standard input, its identification lines on its standard
// output (identify_parser.h), "quit" to end it.
extern const PlayerDialect kMPlayerDialect;
