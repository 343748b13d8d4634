// MPlayer, as the plugin drives it: in slave mode, its commands on its standard
// input and its identification on its standard output, and a thumbnail's frame
// in two runs, one that probes the file and one that writes the frame.
#include <windows.h>

#include <string>

#include "frame_command.h"
#include "identify_reader.h"
#include "mplayer_dialect.h"
#include "player.h"
#include "player_context.h"
#include "process_launch.h"

namespace {

VideoSize Identify(ReaderHandover& reads, PlayerContext& context, ULONGLONG deadlineTick) {
  return ReadVideoSize(reads, context.Process, deadlineTick);
}

// Writes into its current folder, the launch's: a folder's name may hold what
// MPlayer's "-vo" can't (commas, blanks, letters beyond ASCII).
bool WriteFrame(const FrameLaunch& launch, ULONGLONG deadlineTick) {
  const std::wstring folder(launch.ImageFolder);
  const PlayerRun probe = RunPlayer(MPlayerProbeCommandLine(launch), folder, deadlineTick);
  const ProbedVideo video = ReadProbeOutput(probe.Output);
  // Audio alone, or nothing the player can play: no second run.
  if (!probe.EndedByItself || !video.HasVideo) return false;
  return RunPlayer(MPlayerFrameCommandLine(launch, FrameSeekTenths(video.LengthSeconds), video), folder, deadlineTick)
      .EndedByItself;
}

}  // namespace

namespace mplayer {

extern const Player kPlayer;  // in the list of players (player/CMakeLists.txt)
const Player kPlayer = {
    L"mplayer", {L"mplayer.exe"}, &kMPlayerDialect, nullptr, Identify, std::nullopt, nullptr, WriteFrame,
    ReadMPlayerReport, {L"mplayer\\mplayer.exe", L"", L"mplayer.exe", 2},
};

}  // namespace mplayer
