#pragma once
#include <windows.h>

#include <string>

#include "preview_size.h"

// The image file read and scaled by the Windows Imaging Component into a
// device-dependent bitmap for the screen, of FitPreviewSize(its size, |box|). The
// caller owns the bitmap; null when the file is no image the system can read.
// Any thread: COM is initialised and uninitialised here when the thread had it
// not, and used as it is when the thread already has it in either apartment mode.
HBITMAP DecodePreviewBitmap(const std::wstring& imagePath, PixelSize box);
