#include "key_table.h"

#include <algorithm>

namespace {

constexpr KeyBinding kBindings[] = {
    {0x08, KeyAction::Send, PlayerAction::SpeedNormal},           // Backspace
    {0x20, KeyAction::Send, PlayerAction::Pause},                 // Space
    {0x25, KeyAction::Send, PlayerAction::SeekBack10},            // Left
    {0x26, KeyAction::Send, PlayerAction::SeekForward60},         // Up
    {0x27, KeyAction::Send, PlayerAction::SeekForward10},         // Right
    {0x28, KeyAction::Send, PlayerAction::SeekBack60},            // Down
    {0x30, KeyAction::Send, PlayerAction::VolumeUp},              // 0
    {0x39, KeyAction::Send, PlayerAction::VolumeDown},            // 9
    {0x48, KeyAction::ToggleLoop, PlayerAction::LoopOn},          // H
    {0x49, KeyAction::Send, PlayerAction::ShowProgress},          // I
    {0x4A, KeyAction::Send, PlayerAction::NextSubtitle},          // J
    {0x4D, KeyAction::ToggleMute, PlayerAction::MuteOn},          // M
    {0x51, KeyAction::Quit, PlayerAction::Quit},                  // Q
    {0x6A, KeyAction::Send, PlayerAction::VolumeUp},              // keypad *
    {0x6F, KeyAction::Send, PlayerAction::VolumeDown},            // keypad /
    {0xBA, KeyAction::Send, PlayerAction::BrightnessDown},        // ; and :
    {0xBC, KeyAction::Send, PlayerAction::FrameBack},             // , and <
    {0xBE, KeyAction::Send, PlayerAction::FrameForward},          // . and >
    {0xDB, KeyAction::Send, PlayerAction::SpeedDown},             // [ and {
    {0xDD, KeyAction::Send, PlayerAction::SpeedUp},               // ] and }
    {0xDE, KeyAction::Send, PlayerAction::BrightnessUp},          // ' and "
};

// Keys told by the character they type, where the key alone is the host's: # is
// Shift+3 on the US layout, and 3 is Lister's own.
constexpr CharacterBinding kCharacterBindings[] = {
    {L'#', PlayerAction::NextAudio},
};

}  // namespace

std::span<const KeyBinding> KeyBindings() { return kBindings; }

std::span<const CharacterBinding> CharacterBindings() { return kCharacterBindings; }

const CharacterBinding* FindCharacterBinding(wchar_t character) {
  const auto* found = std::find_if(std::begin(kCharacterBindings), std::end(kCharacterBindings),
                                   [character](const CharacterBinding& row) { return row.Character == character; });
  return found == std::end(kCharacterBindings) ? nullptr : found;
}

const KeyBinding* FindKeyBinding(std::uint32_t virtualKey) {
  const auto* found = std::find_if(std::begin(kBindings), std::end(kBindings),
                                   [virtualKey](const KeyBinding& row) { return row.VirtualKey == virtualKey; });
  return found == std::end(kBindings) ? nullptr : found;
}
