#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Pure composition of the player's command line; no system calls, so both
// builds' variants can be checked from one test binary.

// The text in double quotes when it contains a blank (U+0020), else unchanged.
std::wstring QuoteIfSpaced(std::wstring_view text);

// A blank, then |prefix| and |value| as one argument (an option whose value is a
// path, or a path alone), quoted when it holds a blank.
void AppendArgument(std::wstring& line, std::wstring_view prefix, std::wstring_view value);

// The view window handle as the player's "-wid" wants it: the 64-bit build
// writes the handle as a signed 64-bit number, the 32-bit build as an unsigned
// 32-bit number.
std::wstring ViewHandleTextSigned64(std::int64_t handle);
std::wstring ViewHandleTextUnsigned32(std::uint32_t handle);
std::wstring ViewHandleText(std::uintptr_t handle);  // this build's form

struct PlayerLaunch {
  std::wstring_view PlayerPath;
  std::wstring_view PlayerParams;  // taken as it stands: it brings its own leading blank
  bool Embedded = false;           // the Lister window is the host's quick-view panel
  std::wstring_view ViewHandle;    // from ViewHandleText
  std::wstring_view FileName;
  std::wstring_view ControlPipe{};  // the pipe a player that serves one is to serve (mpv)
  std::uintptr_t ViewWindow = 0;    // the view window's handle value
};

std::wstring ComposePlayerCommandLine(const PlayerLaunch& launch);
