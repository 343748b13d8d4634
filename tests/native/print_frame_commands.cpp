// Prints the command lines with which the plugin has a player write a video's
// frame, so that the real-player checks run the players natively with exactly
// these. Built natively: the command lines are plain C++.
//   print_frame_commands mpv PLAYER FOLDER VIDEO WIDTH HEIGHT [PARAMS]
//   print_frame_commands mplayer-probe PLAYER FOLDER VIDEO WIDTH HEIGHT [PARAMS]
//   print_frame_commands mplayer-frame PLAYER FOLDER VIDEO WIDTH HEIGHT [PARAMS] < PROBE_OUTPUT
// WIDTH x HEIGHT is the thumbnail's box; PARAMS the user's MPlayer_params (empty
// unless given). Paths are taken as they are (Linux paths
// here); a command line quotes only what holds a blank, with no escapes, so the
// caller splits it as a shell would. MPlayer is to run in FOLDER, as the plugin
// runs it.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <iterator>
#include <string>

#include "frame_command.h"
#include "mpv_dialect.h"

namespace {

std::wstring Wide(const char* text) {
  std::wstring wide;
  for (const char* c = text; *c != '\0'; ++c) wide += static_cast<wchar_t>(static_cast<unsigned char>(*c));
  return wide;  // Latin-1 is enough for the samples' and folders' names, ASCII all of them
}

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) narrow += static_cast<char>(c);
  return narrow;
}

}  // namespace

int main(int count, char** arguments) {
  if (count != 7 && count != 8) {
    std::fprintf(stderr, "usage: print_frame_commands mpv|mplayer-probe|mplayer-frame PLAYER FOLDER VIDEO WIDTH HEIGHT "
                         "[PARAMS]\n");
    return 2;
  }
  const std::string kind = arguments[1];
  const std::wstring player = Wide(arguments[2]), folder = Wide(arguments[3]), video = Wide(arguments[4]);
  const std::wstring params = count == 8 ? Wide(arguments[7]) : L"";
  const FrameLaunch launch{player, params, video, folder, std::atoi(arguments[5]), std::atoi(arguments[6])};
  if (kind == "mpv") {
    std::printf("%s\n", Narrow(MpvFrameCommandLine(launch)).c_str());
  } else if (kind == "mplayer-probe") {
    std::printf("%s\n", Narrow(MPlayerProbeCommandLine(launch)).c_str());
  } else if (kind == "mplayer-frame") {
    const std::string probe{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    const ProbedVideo probed = ReadProbeOutput(probe);
    if (!probed.HasVideo) return 3;  // the plugin asks for no frame
    std::printf("%s\n",
                Narrow(MPlayerFrameCommandLine(launch, FrameSeekTenths(probed.LengthSeconds), probed)).c_str());
  } else {
    return 2;
  }
  return 0;
}
