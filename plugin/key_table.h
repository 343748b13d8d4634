#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// What each key in the view window does: data, one row per key.

enum class KeyAction {
  Send,          // send the row's command
  ToggleLoop,    // flip looping, send "loop 1" or "loop -1"
  ToggleMute,    // flip muting, send "mute 1" or "mute 0"
  ShowProgress,  // drop the player's unread output, then send the row's command
  Quit,          // send the row's command, then ask the Lister window to close
};

struct KeyBinding {
  std::uint32_t VirtualKey;
  KeyAction Action;
  std::string_view Command;
};

std::span<const KeyBinding> KeyBindings();
// Null for keys that do nothing. Modifiers are not looked at.
const KeyBinding* FindKeyBinding(std::uint32_t virtualKey);

std::wstring LoopCommand(bool looping);
std::wstring MuteCommand(bool muted);
