#include "vlc_dialect.h"

#include <iterator>
#include <optional>
#include <string>

#include "player_report.h"

namespace {

// Remote-control commands, in the order of PlayerAction; VLC's remote control
// has none for brightness, mute, an on-screen position, a frame back or the next
// track (it sets a track only by its number), and in an embedded window the
// plugin shows the view full screen itself.
constexpr std::string_view kCommands[] = {
    "pause",       // Pause (toggles)
    "seek -10",    // SeekBack10
    "seek +10",    // SeekForward10
    "seek -60",    // SeekBack60
    "seek +60",    // SeekForward60
    "volup 1",     // VolumeUp: one of VLC's volume steps
    "voldown 1",   // VolumeDown
    "",            // BrightnessUp
    "",            // BrightnessDown
    "repeat on",   // LoopOn: the file again and again
    "repeat off",  // LoopOff
    "",            // MuteOn
    "",            // MuteOff
    "",            // ShowProgress
    "",            // FullScreen
    "slower",      // SpeedDown: VLC's own next step down
    "faster",      // SpeedUp
    "normal",      // SpeedNormal
    "frame",       // FrameForward: pauses, then one frame on each time
    "",            // FrameBack
    "",            // NextAudio
    "",            // NextSubtitle
    "",            // AskSound: "volup" and "voldown" answer with the new level themselves
    "shutdown",    // Quit: "quit" would only end the connection
};
static_assert(std::size(kCommands) == kPlayerActions);

std::string_view VlcCommand(PlayerAction action) { return kCommands[static_cast<std::size_t>(action)]; }

}  // namespace

// VLC 3 has no option of its own for the level it starts at (only each sound
// output's, which VLC may replace by the level it saved itself): it is told the
// level as soon as it answers. Its remote control can't mute: a muted level
// starts it silent, and its first "volup" makes it heard again. Paused, it shows
// the first frame; not by its --start-paused, which also holds it, paused, on a
// file it can't open, where it would otherwise end and say so.
std::string VlcStartCommands(const PlayerStartOptions& start) {
  std::string lines;
  if (start.Muted) lines += "volume 0\n";
  else if (start.VolumeTenths >= 0) lines += "volume " + std::to_string(VlcVolumeOf(start.VolumeTenths)) + "\n";
  if (start.Paused) lines += "seek 0\npause\n";
  return lines;
}

const PlayerDialect kVlcDialect = {ComposeVlcCommandLine, VlcCommand, VlcStartCommands};

std::wstring ComposeVlcCommandLine(const PlayerLaunch& launch) {
  std::wstring line = PlayerCommandLine(launch.PlayerPath, launch.PlayerParams);
  line += L" --intf=dummy --extraintf=rc --rc-quiet --rc-host=";
  line += launch.CommandChannel;
  line += L" --drawable-hwnd=";
  line += launch.ViewHandle;
  line += L" --no-keyboard-events --no-mouse-events --no-video-title-show --no-one-instance";
  if (launch.Start.End == AtEnd::Loop) line += L" --repeat";
  line += L" --play-and-exit -- ";
  line += QuoteIfSpaced(launch.FileName);
  return line;
}

int VlcVolumeOf(int volumeTenths) { return (volumeTenths * kVlcFullVolume + 500) / 1000; }

void ReadVlcReport(std::string_view line, PlayerReport& report) {
  constexpr std::string_view kPrompt = "> ";
  constexpr std::string_view kVolume = "( audio volume: ";
  constexpr std::string_view kClose = " )";
  if (line.ends_with('\r')) line.remove_suffix(1);
  while (line.starts_with(kPrompt)) line.remove_prefix(kPrompt.size());
  if (!line.starts_with(kVolume) || !line.ends_with(kClose)) return;
  line = line.substr(kVolume.size(), line.size() - kVolume.size() - kClose.size());
  // Tenths of VLC's units, 256 of which are its 100 %: scaled to tenths of per cent.
  const std::optional<int> level = VolumeTenthsOf(line);
  if (!level) return;
  report.VolumeTenths = (*level * 100 + kVlcFullVolume / 2) / kVlcFullVolume;
  report.Muted = false;  // VLC can't mute: a level it reports is heard
}
