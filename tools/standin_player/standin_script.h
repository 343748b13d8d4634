#pragma once
#include <string>
#include <string_view>
#include <vector>

// The stand-in player's script: what it writes and how it behaves, line by line.

enum class DirectiveKind { Write, StampedWrite, Replay, Repeat, Flood, Sleep, Exit, Crash, IgnoreQuit, QuitCode, StopReading, CloseStdin, ChildWindow, Mark, Await, Key, NoPipe, ServePipe };

struct ReplayDirective {
  std::wstring Path;
  size_t ChunkSize = 1024;
  unsigned DelayMs = 0;
};

struct Directive {
  DirectiveKind Kind = DirectiveKind::Write;
  std::string Text;      // write, stamped-write, repeat: the bytes; mark: the name; await: the command line
  size_t Number = 0;     // flood: bytes; sleep: milliseconds; exit, quit-code: code; key: virtual-key code;
                         // repeat: how many writes
  unsigned DelayMs = 0;  // repeat: the pause after each write
  ReplayDirective Replay;
  bool ToPipe = false;   // "pipe ...": write, stamped-write, repeat, flood and stop-reading act on the control pipe
};

// Unknown lines are skipped; |script| is UTF-8.
std::vector<Directive> ParseStandInScript(std::string_view script);

// Turns \n \r \t \0 \\ and \xHH into their bytes.
std::string Unescape(std::string_view text);
