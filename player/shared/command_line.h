#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "settings.h"

// What every player's command lines are made of; pure, no system calls, so both
// builds' variants can be checked from one test binary.

// The text in double quotes when it contains a blank (U+0020), else unchanged.
std::wstring QuoteIfSpaced(std::wstring_view text);

// A blank, then |prefix| and |value| as one argument (an option whose value is a
// path, or a path alone), quoted when it holds a blank.
void AppendArgument(std::wstring& line, std::wstring_view prefix, std::wstring_view value);

// The one place where every command line of every player begins: the program,
// quoted when it holds a blank, then the user's options (MPlayer_params) as they
// stand, with their own leading blank. The player's own arguments follow.
std::wstring PlayerCommandLine(std::wstring_view playerPath, std::wstring_view playerParams);

// The view window handle as a decimal in this build's own form: the 64-bit
// build writes the handle as a signed 64-bit number, the 32-bit build as an
// unsigned 32-bit number.
std::wstring ViewHandleTextSigned64(std::int64_t handle);
std::wstring ViewHandleTextUnsigned32(std::uint32_t handle);
std::wstring ViewHandleText(std::uintptr_t handle);  // this build's form

// How a player starts: the sound the user last set, what it does at the end of
// the video, and whether it waits paused on the first frame. The defaults ask a
// player for nothing beyond its usual command line.
struct PlayerStartOptions {
  int VolumeTenths = -1;  // tenths of the player's per cent; negative: the player's own level
  bool Muted = false;
  AtEnd End = AtEnd::Stop;
  bool Paused = false;
};

// A level as a player's option takes it: "37", or "37.5".
std::wstring VolumeText(int volumeTenths);

// What a player's command line for a view is made from.
struct PlayerLaunch {
  std::wstring_view PlayerPath;
  std::wstring_view PlayerParams;  // taken as it stands: it brings its own leading blank
  bool Embedded = false;           // the Lister window is the host's quick-view panel
  std::wstring_view ViewHandle;    // from ViewHandleText
  std::wstring_view FileName;
  // For a player that serves a command channel: the address it is to serve (a
  // pipe's name, a port), from the channel's NewAddress (command_channel.h).
  std::wstring_view CommandChannel{};
  std::uintptr_t ViewWindow = 0;  // the view window's handle value
  PlayerStartOptions Start{};
};

// What a player's command line for a thumbnail's frame is made from.
struct FrameLaunch {
  std::wstring_view PlayerPath;
  std::wstring_view PlayerParams;  // taken as it stands, as for viewing
  std::wstring_view FileName;
  // Where the image goes, no trailing backslash; the player runs in it. MPlayer
  // is not told its name: it splits its "-vo" at every comma, before any quoting
  // of its own is read.
  std::wstring_view ImageFolder;
  int BoxWidth = 0;  // the thumbnail's box, which the frame is to fit
  int BoxHeight = 0;
};

// The name each player gives the first image it writes.
constexpr std::wstring_view kFrameImageName = L"00000001.png";
