#include "mplayer_dialect.h"

#include <cwchar>
#include <iterator>

#include "color_key.h"

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
    "speed_mult 0.9091",     // SpeedDown: 1/1.1, so that ] undoes [
    "speed_mult 1.1",        // SpeedUp
    "speed_set 1",           // SpeedNormal
    "frame_step",            // FrameForward
    "",                      // FrameBack: MPlayer can't step back
    "switch_audio",          // NextAudio
    "sub_select",            // NextSubtitle
    // AskSound: answered by ANS_volume= and ANS_mute=; a command without the prefix would end a pause
    "pausing_keep_force get_property volume\npausing_keep_force get_property mute",
    "quit",                  // Quit
};
static_assert(std::size(kCommands) == kPlayerActions);

std::string_view MPlayerCommand(PlayerAction action) { return kCommands[static_cast<std::size_t>(action)]; }

std::wstring ColorKeyText() {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%06x", static_cast<unsigned>(ColorKey));
  return text;
}

// MPlayer has no option that starts it muted or paused: it is told so once identified.
std::string MPlayerStartCommands(const PlayerStartOptions& start) {
  std::string lines;
  if (start.Muted) lines += "mute 1\n";
  // The first frame, shown and held.
  if (start.Paused) lines += "pausing seek 0 2\n";
  return lines;
}

}  // namespace

const PlayerDialect kMPlayerDialect = {ComposePlayerCommandLine, MPlayerCommand, MPlayerStartCommands};

std::wstring ComposePlayerCommandLine(const PlayerLaunch& launch) {
  std::wstring line = PlayerCommandLine(launch.PlayerPath, launch.PlayerParams);
  line += L" -quiet -slave -identify";
  line += launch.Embedded ? L" -wid " : L" -keepaspect -wid ";
  line += launch.ViewHandle;
  line += L" -colorkey ";
  line += ColorKeyText();
  // Only what the user set or the plugin remembered: nothing by default.
  if (launch.Start.VolumeTenths >= 0) line += L" -volume " + VolumeText(launch.Start.VolumeTenths);
  if (launch.Start.End == AtEnd::Loop) line += L" -loop 0";
  line += L' ';
  line += QuoteIfSpaced(launch.FileName);
  return line;
}

void ReadMPlayerReport(std::string_view line, PlayerReport& report) {
  constexpr std::string_view kVolume = "ANS_volume=";
  constexpr std::string_view kMute = "ANS_mute=";
  if (line.starts_with(kVolume)) {
    report.VolumeTenths = VolumeTenthsOf(line.substr(kVolume.size()));
  } else if (line.starts_with(kMute)) {
    const std::string_view value = line.substr(kMute.size());
    if (value == "yes" || value == "no") report.Muted = value == "yes";
  } else if (line == "ID_EXIT=EOF") {
    report.Ended = true;
  }
}
