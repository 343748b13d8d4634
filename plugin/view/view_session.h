#pragma once
#include <windows.h>

// Opening a file: a view window, a started player, its identification read and
// the Lister window placed. Null when nothing could be shown.
HWND OpenPlayerView(HINSTANCE instance, HWND lister, const wchar_t* fileName);

// The next file into an open view, in place of its player: the old player is
// stopped as a close stops it, then the new one starts as an opening starts it.
// False, with the view left empty (or gone, if host code destroyed it meanwhile),
// when the new file can't be shown; false at once, with nothing touched, for a
// window that is not a view of ours in |lister| or is still loading a file.
bool LoadNextIntoView(HWND lister, HWND view, const wchar_t* fileName);

// Stops the view's player and releases everything the view owns. Windows that
// are not views of ours are left alone.
void ClosePlayerView(HWND view);

// Releases what a view still owns when its window is destroyed by anything but
// ClosePlayerView (called from the window's WM_DESTROY).
void ReleaseDestroyedView(HWND view);

// Full screen when the host reports that its display options changed: the player's
// own ("vo_fullscreen"), or the plugin's for a player that has none in our window.
void SendHostCommand(HWND view, int command);

// Full screen on or off, as the host's command does: for a double click.
void ToggleViewFullScreen(HWND view);
