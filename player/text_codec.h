#pragma once
#include <string>
#include <string_view>

// Slave commands and the player's output are 8-bit text in the system ANSI code page.
std::string ToAnsi(std::wstring_view text);
std::wstring FromAnsi(std::string_view text);
