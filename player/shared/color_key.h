#pragma once
#include <cstdint>

// The colour the view window is filled with and the player draws its video over.
constexpr std::uint32_t ColorKey = 0x101010;  // red, green and blue all 16
