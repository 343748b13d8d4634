#pragma once
#include <cstdint>
#include <span>

#include "player_dialect.h"

// What each key in the view window does: data, one row per key. The rows speak
// of actions; each player's dialect says how an action is told to it.

enum class KeyAction {
  Send,          // tell the player the row's action
  ToggleLoop,    // flip looping, tell the player LoopOn or LoopOff
  ToggleMute,    // flip muting, tell the player MuteOn or MuteOff
  Quit,          // tell the player the row's action, then ask the Lister window to close
};

struct KeyBinding {
  std::uint32_t VirtualKey;
  KeyAction Action;
  PlayerAction Player;  // for the toggles, the action that turns them on
};

std::span<const KeyBinding> KeyBindings();
// Null for keys that do nothing. Modifiers are not looked at.
const KeyBinding* FindKeyBinding(std::uint32_t virtualKey);

// A character typed in the view (WM_CHAR), whatever keys typed it.
struct CharacterBinding {
  wchar_t Character;
  PlayerAction Player;  // told to the player
};

std::span<const CharacterBinding> CharacterBindings();
// Null for characters that do nothing.
const CharacterBinding* FindCharacterBinding(wchar_t character);
