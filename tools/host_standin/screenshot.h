#pragma once
#include <windows.h>

#include <string>

// Saves what the screen shows in |window|'s rectangle, frame included, as a
// 24-bit BMP file. False when nothing could be captured or written.
bool SaveWindowScreenshot(HWND window, const std::wstring& bmpPath);

// Saves |bitmap| (of any kind) as a 24-bit BMP file. False when it can't be read or written.
bool SaveBitmap(HBITMAP bitmap, const std::wstring& bmpPath);
