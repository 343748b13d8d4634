// Prints, for each player, every command the plugin can send it (each key's and
// typed character's, the question after a volume change, both states of the loop
// and mute toggles, the host's full screen, the close's quit),
// mpv's command line for a sample launch and its identification requests, one per
// line as "PLAYER<TAB>KIND<TAB>TEXT", so that the real-player checks take them from
// the code itself. Built natively: the key table and the dialects are plain C++.
#include <cstdio>
#include <string>
#include <string_view>

#include "key_table.h"
#include "mplayer_dialect.h"
#include "mpv_dialect.h"

namespace {

// The command lines are ASCII here; anything else could not be checked.
bool AllAscii = true;

std::string Narrow(std::wstring_view text) {
  std::string narrow;
  for (wchar_t c : text) {
    AllAscii = AllAscii && c >= 0 && c < 0x80;
    narrow += static_cast<char>(c & 0x7F);
  }
  return narrow;
}

void Print(const char* player, const char* kind, std::string_view text) {
  std::printf("%s\t%s\t%.*s\n", player, kind, static_cast<int>(text.size()), text.data());
}

void PrintCommands(const char* player, const PlayerDialect& dialect) {
  for (const KeyBinding& row : KeyBindings()) {
    switch (row.Action) {
      case KeyAction::Send:
        // A key whose action this player is not told sends nothing.
        if (!dialect.Command(row.Player).empty()) Print(player, "key", dialect.Command(row.Player));
        break;
      case KeyAction::Quit:
        Print(player, "quit", dialect.Command(row.Player));
        break;
      case KeyAction::ToggleLoop:
        Print(player, "loop-on", dialect.Command(PlayerAction::LoopOn));
        Print(player, "loop-off", dialect.Command(PlayerAction::LoopOff));
        break;
      case KeyAction::ToggleMute:
        Print(player, "mute-on", dialect.Command(PlayerAction::MuteOn));
        Print(player, "mute-off", dialect.Command(PlayerAction::MuteOff));
        break;
    }
  }
  for (const CharacterBinding& row : CharacterBindings()) Print(player, "character", dialect.Command(row.Player));
  // The question after a volume change, one line each.
  std::string_view ask = dialect.Command(PlayerAction::AskSound);
  while (!ask.empty()) {
    const size_t end = ask.find('\n');
    Print(player, "ask", ask.substr(0, end));
    ask.remove_prefix(end == std::string_view::npos ? ask.size() : end + 1);
  }
  Print(player, "fullscreen", dialect.Command(PlayerAction::FullScreen));
  Print(player, "close", dialect.Command(PlayerAction::Quit));
}

}  // namespace

int main() {
  PrintCommands("mplayer", kMPlayerDialect);
  PrintCommands("mpv", kMpvDialect);
  // PIPE and FILE stand for what the check puts in their place.
  Print("mpv", "command-line",
        Narrow(kMpvDialect.CommandLine({L"mpv", L"", false, L"", L"FILE", L"PIPE", 0x30062})));
  // With a remembered level and muting, which every file then starts with.
  PlayerLaunch remembered{L"mpv", L"", false, L"", L"FILE", L"PIPE", 0x30062};
  remembered.Start.VolumeTenths = 375;
  remembered.Start.Muted = true;
  Print("mpv", "command-line-sound", Narrow(kMpvDialect.CommandLine(remembered)));
  std::string_view requests = MpvIdentification::Requests();
  while (!requests.empty()) {
    const size_t end = requests.find('\n');
    Print("mpv", "request", requests.substr(0, end));
    requests.remove_prefix(end == std::string_view::npos ? requests.size() : end + 1);
  }
  if (!AllAscii) std::fprintf(stderr, "a command line is not ASCII\n");
  return AllAscii ? 0 : 1;
}
