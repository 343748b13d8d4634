#pragma once
#include "player_dialect.h"
#include "player_report.h"

// MPlayer in slave mode: the command line of ComposePlayerCommandLine, slave
// commands on its standard input, its identification lines on its standard
// output (identify_parser.h), "quit" to end it.
extern const PlayerDialect kMPlayerDialect;

// Its command line for a view: the program and the user's options, then
// "-quiet -slave -identify", "-keepaspect" unless the Lister is the quick-view
// panel, the view window and the colour key, and the file.
std::wstring ComposePlayerCommandLine(const PlayerLaunch& launch);
// Then, only when asked: " -volume N" for a remembered level, " -loop 0" for
// At_end=loop; before the file. At the end of the video MPlayer ends, unless
// looping: it can keep its last frame only when started idle (-idle -fixed-vo),
// which the user may ask for in MPlayer_params.

// Its reports after identification: "ANS_volume=37.000000" and "ANS_mute=yes"
// (answers to AskSound), "ID_EXIT=EOF" at the end of the video.
void ReadMPlayerReport(std::string_view line, PlayerReport& report);
