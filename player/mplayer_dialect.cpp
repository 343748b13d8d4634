#include "mplayer_dialect.h"

namespace {

// The slave commands, as MPlayer's own table names them.
std::string_view MPlayerCommand(PlayerAction action) {
  switch (action) {
    case PlayerAction::Pause: return "pause";
    case PlayerAction::SeekBack10: return "seek -10";
    case PlayerAction::SeekForward10: return "seek +10";
    case PlayerAction::SeekBack60: return "seek -60";
    case PlayerAction::SeekForward60: return "seek +60";
    case PlayerAction::VolumeUp: return "volume +1";
    case PlayerAction::VolumeDown: return "volume -1";
    case PlayerAction::BrightnessUp: return "brightness +1";
    case PlayerAction::BrightnessDown: return "brightness -1";
    case PlayerAction::LoopOn: return "loop 1";
    case PlayerAction::LoopOff: return "loop -1";
    case PlayerAction::MuteOn: return "mute 1";
    case PlayerAction::MuteOff: return "mute 0";
    case PlayerAction::ShowProgress: return "osd_show_progression";
    case PlayerAction::FullScreen: return "vo_fullscreen";
    case PlayerAction::Quit: return "quit";
  }
  return {};
}

}  // namespace

const PlayerDialect kMPlayerDialect = {ComposePlayerCommandLine, MPlayerCommand, false};
