#pragma once
#include <string>
#include <string_view>
#include <vector>

// The stand-in player's script: what it writes and how it behaves, line by line.

enum class DirectiveKind { Write, StampedWrite, Replay, Repeat, Flood, Sleep, Exit, Crash, IgnoreQuit, QuitCode, StopReading, ResumeReading, AwaitFile, CloseStdin, ChildWindow, Mark, Await, Key, Image, ImageBytes, NoPipe, ServePipe, ExitAfterFrame, RcInfo, RcTime };

struct ReplayDirective {
  std::wstring Path;
  size_t ChunkSize = 1024;
  unsigned DelayMs = 0;
};

struct Directive {
  DirectiveKind Kind = DirectiveKind::Write;
  std::string Text;      // rc-info: the answer; write, stamped-write, repeat, image-bytes: the bytes; mark: the name; await: the
                         // command line; await-file: the file's name
  size_t Number = 0;     // rc-time: seconds; flood: bytes; sleep: milliseconds; exit, quit-code: code; key: virtual-key code;
                         // repeat: how many writes
  unsigned DelayMs = 0;  // repeat: the pause after each write
  ReplayDirective Replay;
  std::wstring File;  // image: the file to copy
  bool ToPipe = false;   // "pipe ...": write, stamped-write, repeat, flood, stop-reading and resume-reading act
                         // on the control pipe
};

// Unknown lines are skipped; |script| is UTF-8.
std::vector<Directive> ParseStandInScript(std::string_view script);

std::wstring WideFromUtf8(std::string_view text);

// Turns \n \r \t \0 \\ and \xHH into their bytes.
std::string Unescape(std::string_view text);
