#pragma once
#include <windows.h>

#include "player_context.h"

// Full screen for a player that ignores it while it draws into our window (mpv):
// the plugin shows the view itself over the whole monitor that holds the Lister
// window, top-most and without frame; the player's window, a child of the view,
// follows the view's size. The next toggle puts the view back into the Lister
// exactly as it was: parent, place, size and keyboard focus.
//
// While the view is away a hidden placeholder of ours stays in the Lister. A
// Lister destroyed meanwhile destroys it, and with it the view, which then ends
// its player as any view destroyed with its Lister does: no window is left.

// Shows the view full screen, or puts it back. |stored| is the view's record,
// which keeps where the view was. Host code may run inside (the placeholder's
// creation, activation and focus changes) and may close the view, give it the
// next file or destroy the Lister: |stored| may be gone when this returns.
void ToggleFullScreen(HWND view, PlayerContext& stored);

// For the view's WM_WINDOWPOSCHANGING: while the view is shown full screen, a
// move or resize by the host (which sizes its plugin's window to the Lister)
// leaves the view over the monitor and becomes the place it goes back to.
void KeepFullScreenPlace(HWND view, WINDOWPOS& position);

// Puts a view shown full screen back into the Lister as it was; nothing for a
// view that is not. Host code may run inside, as in ToggleFullScreen.
void LeaveFullScreen(HWND view, PlayerContext& stored);

// The view's Lister window, full screen or not.
HWND ListerOf(HWND view, const PlayerContext& stored);

// For a view that is closing: lets go of the placeholder and the record of where
// the view was, without putting the view back.
void ReleaseFullScreen(PlayerContext& context);
