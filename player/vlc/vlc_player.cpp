// VLC, as the plugin drives it: through its remote control on a loopback port,
// where it takes its commands and answers the identification.
#include <windows.h>

#include <string>

#include "command_channel.h"
#include "player.h"
#include "vlc_dialect.h"
#include "vlc_identify_reader.h"

namespace {

std::wstring NoChannelWarning(std::wstring_view playerPath) {
  return L"VLC did not open its remote control: " + std::wstring(playerPath) +
         L"\n\nreelpane needs VLC 3 or later, and no option in MPlayer_params that VLC does not know.";
}

// VLC's thumbnails are not taken yet: such files get the view's usual icon.
bool WriteFrame(const FrameLaunch&, ULONGLONG) { return false; }

}  // namespace

namespace vlc {

extern const Player kPlayer;  // in the list of players (player/CMakeLists.txt)
// VLC ends at once, with exit code 0, on a file it can't open: one that has
// ended so before its remote control could be reached could not play the file
// (an option it does not know ends it with 1).
const Player kPlayer = {
    L"vlc", {L"vlc.exe"}, &kVlcDialect, &kLoopbackChannel, ReadVlcIdentification, 0u, NoChannelWarning, WriteFrame,
    ReadVlcReport, {L"vlc\\vlc.exe", L"SOFTWARE\\VideoLAN\\VLC", L"", 0},
};

}  // namespace vlc
