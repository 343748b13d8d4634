#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "player.h"
#include "player_context.h"
#include "player_dialect.h"

// A view's player, whichever player it is: its start, its identification, its
// commands and its end.

// How long a player has to end by itself after "quit" before it is terminated.
constexpr DWORD kQuitGraceMs = 1000;
// A player that has not read 4 KiB of commands has stopped reading: a command
// that does not fit by then is dropped rather than hold the host.
constexpr DWORD kCommandWriteBoundMs = 250;

struct PlayerStart {
  HWND ViewWindow = nullptr;
  bool Embedded = false;
  std::wstring_view PlayerPath;
  std::wstring_view PlayerParams;
  std::wstring_view FileName;
  const ::Player* Player = nullptr;
  std::wstring_view CommandChannel;  // from NewChannelAddress
  // With no PlayerPath: where a player was looked for (players.h), for the warning.
  std::wstring_view LookedFor{};
  PlayerStartOptions Options{};
};

// For a player that serves a command channel, an address no other view's
// channel has; empty for one that reads its commands on standard input.
std::wstring NewChannelAddress(const Player& player);

// Starts the player drawing into the view window. On failure the user has been
// warned ("Cannot create process: " and the path, or where a player was looked
// for) and nothing is left open.
std::optional<PlayerContext> StartPlayer(const PlayerStart& start);

// How a player's identification ended.
enum class IdentifyEnd {
  Identified,          // Size says what it found
  ChannelForeign,      // another process served its command channel's address
  ChannelTimedOut,     // it had not served its command channel within the bound
  ChannelPlayerEnded,  // it ended without serving its command channel (not for a file it can't play)
};

struct IdentifyOutcome {
  IdentifyEnd End = IdentifyEnd::Identified;
  VideoSize Size;  // -1 by -1: the player can't play the file (and for every other end)
};

// Reads the started player's identification, within kIdentifyBoundMs: from its
// output, or through the command channel at |channelAddress| that it serves,
// which then becomes the context's command pipe. Either way the reads hand the
// pipe over to its background reader (the context's Reader or ControlReader,
// prepared by the caller or here), which StartOutputReader then starts. A player
// without its channel is not Running: nothing can ask it to quit.
IdentifyOutcome IdentifyPlayer(PlayerContext& context, const std::wstring& channelAddress);

// The warning that the player started but never served its command channel;
// shown once for as long as the plugin is loaded, later such files go to the
// host's other viewers without it.
void WarnNoChannelOnce(const Player& player, std::wstring_view playerPath);

// One command, without its line end, on the player's command channel. True when
// it was written whole; a command that could not be is dropped (see CommandCut).
bool SendPlayerCommand(const PlayerContext& context, std::string_view command);

// |action| in the player's own dialect. True when its command was written whole;
// false, with nothing written, when the dialect leaves the action to the plugin.
bool SendPlayerAction(const PlayerContext& context, PlayerAction action);
// Whether the player is told |action| at all.
bool PlayerIsTold(const PlayerContext& context, PlayerAction action);

// What the player's command line can't say of |options|, told right after its
// identification. False when it could not be written whole (see CommandCut).
bool SendStartCommands(PlayerContext& context, const PlayerStartOptions& options);

// "quit" (in the player's dialect), up to a second's grace, then termination.
void StopPlayer(const PlayerContext& context);

// Stops the output readers and lets go of the watch, then closes the output pipe, the command pipe, the
// process and the job, in that order.
void ClosePlayerHandles(const PlayerContext& context);
