#include "key_table.h"

#include <algorithm>

namespace {

constexpr KeyBinding kBindings[] = {
    {0x20, KeyAction::Send, "pause"},                         // Space
    {0x25, KeyAction::Send, "seek -10"},                      // Left
    {0x26, KeyAction::Send, "seek +60"},                      // Up
    {0x27, KeyAction::Send, "seek +10"},                      // Right
    {0x28, KeyAction::Send, "seek -60"},                      // Down
    {0x30, KeyAction::Send, "volume +1"},                     // 0
    {0x39, KeyAction::Send, "volume -1"},                     // 9
    {0x48, KeyAction::ToggleLoop, ""},                        // H
    {0x49, KeyAction::ShowProgress, "osd_show_progression"},  // I
    {0x4D, KeyAction::ToggleMute, ""},                        // M
    {0x51, KeyAction::Quit, "quit"},                          // Q
    {0x6A, KeyAction::Send, "volume +1"},                     // keypad *
    {0x6F, KeyAction::Send, "volume -1"},                     // keypad /
    {0xBA, KeyAction::Send, "brightness -1"},                 // ; and :
    {0xDE, KeyAction::Send, "brightness +1"},                 // ' and "
};

}  // namespace

std::span<const KeyBinding> KeyBindings() { return kBindings; }

const KeyBinding* FindKeyBinding(std::uint32_t virtualKey) {
  const auto* found = std::find_if(std::begin(kBindings), std::end(kBindings),
                                   [virtualKey](const KeyBinding& row) { return row.VirtualKey == virtualKey; });
  return found == std::end(kBindings) ? nullptr : found;
}

std::wstring LoopCommand(bool looping) { return std::wstring(L"loop ") + (looping ? L"1" : L"-1"); }

std::wstring MuteCommand(bool muted) { return L"mute " + std::to_wstring(muted ? 1 : 0); }
