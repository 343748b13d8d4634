// Prints every slave command the view window's keys can send, one per line, so
// that the real-player check takes them from the code itself. Built natively:
// the key table is plain C++.
#include <cstdio>
#include <string>

#include "key_table.h"

namespace {

// The plugin converts these to the ANSI code page; ASCII is the same in every one,
// and anything else could not be checked here.
bool AllAscii = true;

std::string Narrow(const std::wstring& text) {
  std::string narrow;
  for (wchar_t c : text) {
    AllAscii = AllAscii && c >= 0 && c < 0x80;
    narrow += static_cast<char>(c & 0x7F);
  }
  return narrow;
}

void Print(const char* kind, const std::string& command) { std::printf("%s\t%s\n", kind, command.c_str()); }

}  // namespace

int main() {
  for (const KeyBinding& row : KeyBindings()) {
    switch (row.Action) {
      case KeyAction::Send:
      case KeyAction::ShowProgress:
        Print("key", std::string(row.Command));
        break;
      case KeyAction::Quit:
        Print("quit", std::string(row.Command));
        break;
      case KeyAction::ToggleLoop:
        Print("loop-on", Narrow(LoopCommand(true)));
        Print("loop-off", Narrow(LoopCommand(false)));
        break;
      case KeyAction::ToggleMute:
        Print("mute-on", Narrow(MuteCommand(true)));
        Print("mute-off", Narrow(MuteCommand(false)));
        break;
    }
  }
  if (!AllAscii) std::fprintf(stderr, "a toggle command is not ASCII\n");
  return AllAscii ? 0 : 1;
}
