#pragma once
#include <windows.h>

#include <optional>
#include <string>

// What the screen shows in a window's rectangle, frame included, or what a
// bitmap holds: 24-bit pixels, rows bottom-up and padded to 4 bytes, as a BMP
// file holds them.
struct ScreenCapture {
  LONG Width = 0;
  LONG Height = 0;
  std::string Rows;
};

// Nothing when nothing could be captured.
std::optional<ScreenCapture> CaptureWindow(HWND window);

// The capture saved as a 24-bit BMP file. False when nothing could be captured or written.
bool SaveWindowScreenshot(HWND window, const std::wstring& bmpPath);

// Saves |bitmap| (of any kind) as a 24-bit BMP file. False when it can't be read or written.
bool SaveBitmap(HBITMAP bitmap, const std::wstring& bmpPath);
