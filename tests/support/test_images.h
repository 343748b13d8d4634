#pragma once
#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Frames for the stand-in player to hand over, and the pixels of the bitmaps the
// plugin gives back.

// Colours as 0xRRGGBB.
using Quarters = std::array<std::uint32_t, 4>;  // top left, top right, bottom left, bottom right

struct BitmapPixels {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint32_t> Rgb;  // 0xRRGGBB, top row first
  std::uint32_t At(int x, int y) const {
    return Rgb[static_cast<size_t>(y) * static_cast<size_t>(Width) + static_cast<size_t>(x)];
  }
};

// A picture of |width| x |height| whose four quarters have the given colours.
BitmapPixels QuartersPicture(int width, int height, const Quarters& colours);

// |pixels| as a PNG file, written with the system's own encoder (COM is set up
// and taken down here).
bool WritePng(const std::wstring& path, const BitmapPixels& pixels);

// What |bitmap| holds, read as 32-bit colour.
BitmapPixels ReadBitmap(HBITMAP bitmap);

// The largest difference of one channel between two colours.
int ChannelDistance(std::uint32_t a, std::uint32_t b);
