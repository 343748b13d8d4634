#pragma once
#include <windows.h>

#include <string_view>

// Moves and resizes a free-standing Lister window to suit the video, as the
// View_Size word asks; any other word, or a window or desktop rectangle that
// can't be read or is inverted, leaves it where it is. Both sizes must be positive.
void PlaceListerWindow(HWND lister, std::wstring_view viewSize, int videoWidth, int videoHeight);
