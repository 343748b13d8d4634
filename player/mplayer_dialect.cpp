#include "mplayer_dialect.h"

#include <iterator>

namespace {

// The slave commands, as MPlayer's own table names them, in the order of PlayerAction.
constexpr std::string_view kCommands[] = {
    "pause",                 // Pause
    "seek -10",              // SeekBack10
    "seek +10",              // SeekForward10
    "seek -60",              // SeekBack60
    "seek +60",              // SeekForward60
    "volume +1",             // VolumeUp
    "volume -1",             // VolumeDown
    "brightness +1",         // BrightnessUp
    "brightness -1",         // BrightnessDown
    "loop 1",                // LoopOn
    "loop -1",               // LoopOff
    "mute 1",                // MuteOn
    "mute 0",                // MuteOff
    "osd_show_progression",  // ShowProgress
    "vo_fullscreen",         // FullScreen
    "quit",                  // Quit
};
static_assert(std::size(kCommands) == kPlayerActions);

std::string_view MPlayerCommand(PlayerAction action) { return kCommands[static_cast<std::size_t>(action)]; }

}  // namespace

const PlayerDialect kMPlayerDialect = {ComposePlayerCommandLine, MPlayerCommand, false};
