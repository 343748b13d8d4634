#pragma once
#include <windows.h>

#include "player_context.h"

// The child window of the Lister window that the player draws into and that
// takes the keys while a video is shown.

void RegisterPlayerWindowClass(HINSTANCE instance);
void UnregisterPlayerWindowClass(HINSTANCE instance);
HWND CreatePlayerViewWindow(HWND lister, HINSTANCE instance);

// The view's record lives on the heap; its address sits in the window's user-data slot.
void StoreViewContext(HWND view, PlayerContext* context);
// Null for any window that is not one of our views or holds no record yet.
PlayerContext* ViewContext(HWND view);

LRESULT CALLBACK PlayerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
