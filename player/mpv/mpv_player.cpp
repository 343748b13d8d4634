// mpv, as the plugin drives it: through the control pipe it serves, where it
// takes its commands and answers the identification, and a thumbnail's frame in
// one run.
#include <windows.h>

#include <string>

#include "command_channel.h"
#include "mpv_dialect.h"
#include "mpv_identify_reader.h"
#include "player.h"
#include "process_launch.h"

namespace {

std::wstring NoChannelWarning(std::wstring_view playerPath) {
  return L"mpv did not open its control pipe: " + std::wstring(playerPath) +
         L"\n\nreelpane needs mpv 0.17 or later, and no option in MPlayer_params that mpv does not know.";
}

bool WriteFrame(const FrameLaunch& launch, ULONGLONG deadlineTick) {
  return RunPlayer(MpvFrameCommandLine(launch), std::wstring(launch.ImageFolder), deadlineTick).EndedByItself;
}

}  // namespace

namespace mpv {

extern const Player kPlayer;  // in the list of players (player/CMakeLists.txt)
const Player kPlayer = {
    L"mpv", {L"mpv.exe", L"mpv.com"}, &kMpvDialect, &kNamedPipeChannel, ReadMpvIdentification, kMpvCannotPlayExitCode,
    NoChannelWarning, WriteFrame, ReadMpvReport, {L"mpv\\mpv.exe", L"", L"mpv.exe", 1},
};

}  // namespace mpv
