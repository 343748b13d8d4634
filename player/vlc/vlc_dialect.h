#pragma once
#include <string>
#include <string_view>

#include "command_line.h"
#include "player_dialect.h"

struct PlayerReport;

// VLC, and all that differs for it. VLC reads no commands on standard input
// under Windows: its remote-control interface listens on a loopback TCP port
// named on its command line (--rc-host), greets each client, prompts with "> "
// and takes one command a line. Over such a connection "quit" only ends that
// connection; "shutdown" ends VLC. It draws into our view window itself
// (--drawable-hwnd), taking no keys or clicks there. The user's own VLC
// preferences are honoured apart from what embedding and control need.
extern const PlayerDialect kVlcDialect;

// The program, MPlayer_params as they stand, no interface of its own but the
// remote control on the channel's port (no console window of its own), the
// view window, no keys, clicks or title on the video, one run of the file (VLC
// ends when it can't play it), and the file after "--", so that no file name
// can be read as an option.
std::wstring ComposeVlcCommandLine(const PlayerLaunch& launch);

// The level VLC's remote control calls 100 %; its scale reaches 512.
constexpr int kVlcFullVolume = 256;

// A level in tenths of per cent on VLC's scale, rounded.
int VlcVolumeOf(int volumeTenths);

// From VLC's remote control after its identification: "( audio volume: N )",
// VLC's answer to "volup" and "voldown" (a prompt may begin the line), is its
// level, heard. Nothing else it says is a report: a bare number may be a late
// answer to the identification's "get_time".
void ReadVlcReport(std::string_view line, PlayerReport& report);
