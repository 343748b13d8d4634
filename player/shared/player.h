#pragma once
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "command_line.h"
#include "player_dialect.h"
#include "video_size.h"

struct CommandChannel;
struct PlayerReport;
struct PlayerContext;
class ReaderHandover;

// However the player behaves, identification ends within this time.
constexpr DWORD kIdentifyBoundMs = 5000;

// Where a player is looked for when MPlayer_path is empty (players.h: the order).
struct PlayerWhereabouts {
  std::wstring_view InPluginFolder;  // its program, relative to the plugin folder
  // Under HKEY_LOCAL_MACHINE, in either registry view: the key its installer
  // writes, whose default value is the program's path (else its InstallDir
  // value the folder of its first program name); empty: none.
  std::wstring_view InstalledKey;
  std::wstring_view OnPath;  // its program's name, looked for in the PATH's folders; empty: not
  int PathRank = 0;          // in the PATH, the lower rank is looked for first
};

// One player the plugin can drive: all that differs between players, one record
// each, defined as NAME::kPlayer in the player's own folder, player/NAME/, and
// listed in player/CMakeLists.txt (players.h chooses among them). What the
// players share, here in player/shared/ and in process/, and the view and the
// thumbnails above, names no player.
struct Player {
  std::wstring_view Name;         // the word for it in the "Player" setting
  // A program of one of these file names, in any letter case, is taken for it
  // (a launcher the player ships beside its program counts; an empty one names none).
  std::wstring_view ProgramNames[2];
  const PlayerDialect* Dialect;   // its command line for a view, and how each action is told to it
  // Null: it reads its commands on its standard input and prints its
  // identification on its standard output. Else the channel it serves itself,
  // for both; its standard input then reads as empty.
  const CommandChannel* Channel;
  // Its identification, read through |reads| (on its output, or on its channel
  // once connected) until |deadlineTick|: the video's display size, 0 by 0 when
  // none was reported, -1 by -1 when it can't play the file.
  VideoSize (*Identify)(ReaderHandover& reads, PlayerContext& context, ULONGLONG deadlineTick);
  // The exit code by which it says that it can't play the file, if it has one.
  std::optional<std::uint32_t> CannotPlayExitCode;
  // With a channel: the warning that it started but never served it.
  std::wstring (*NoChannelWarning)(std::wstring_view playerPath);
  // Has it write one frame of the file, for a thumbnail, as kFrameImageName into
  // the launch's folder by |deadlineTick|. True when its last run ended by itself.
  bool (*WriteFrame)(const FrameLaunch& launch, ULONGLONG deadlineTick);
  // Reads one line of what it writes after its identification (on its output, or
  // on its channel), without its line end, into |report| (player_report.h): its
  // sound level and the end of the video. Null: it reports nothing, and neither
  // is remembered nor acted on.
  void (*ReadReport)(std::string_view line, PlayerReport& report);
  PlayerWhereabouts Whereabouts;
};
