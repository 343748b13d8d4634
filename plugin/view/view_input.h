#pragma once
#include <windows.h>

#include "player_dialect.h"

// The view's input: each handler acts on the view's player, if it has one. Their
// command writes may let host code run, which may close the view or give it the
// next file; they act on the view after that only while it holds the same record.

void OnViewKeyDown(HWND view, WPARAM virtualKey);
void OnViewCharacter(HWND view, WPARAM character);
// The wheel sets the volume, or seeks with Wheel=seek. False for a view without a player.
bool OnViewWheel(HWND view, WPARAM wParam);
// A left click at |x|, |y| (view client coordinates) at |time| (the message clock).
void OnViewLeftClick(HWND view, int x, int y, DWORD time);
// What the system tells the view of a button pressed over the player's own window.
void OnViewParentNotify(HWND view, WPARAM wParam, LPARAM lParam);

// Tells the view's player |action|, if the window is an open view.
void SendViewAction(HWND view, PlayerAction action);
