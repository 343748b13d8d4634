#pragma once
#include <windows.h>

#include <memory>

#include "player_context.h"
#include "player_dialect.h"

// The child window of the Lister window that the player draws into and that
// takes the keys while a video is shown.

void RegisterPlayerWindowClass(HINSTANCE instance);
void UnregisterPlayerWindowClass(HINSTANCE instance);
HWND CreatePlayerViewWindow(HWND lister, HINSTANCE instance);

// Whether |view| is one of our view windows, with or without a record.
bool IsPlayerView(HWND view);

// The view's record lives on the heap; its address sits in the window's user-data slot.
void StoreViewContext(HWND view, PlayerContext* context);
// Null for any window that is not one of our views or holds no record yet.
PlayerContext* ViewContext(HWND view);
// Takes the record out of the view, so that whatever runs inside our later
// waits (a nested close, a key, the host's command) finds none and does nothing.
std::unique_ptr<PlayerContext> TakeViewContext(HWND view);

// Tells the opening sequence whether its view window was destroyed while host
// code ran inside one of its waits (the Lister window closed under it). The
// flag lives in the window's extra bytes until the watch ends.
class DestructionWatch {
 public:
  explicit DestructionWatch(HWND view);
  DestructionWatch(const DestructionWatch&) = delete;
  DestructionWatch& operator=(const DestructionWatch&) = delete;
  ~DestructionWatch();
  bool ViewDestroyed() const { return destroyed_; }

 private:
  HWND view_;
  bool destroyed_ = false;
};

// Whether a watch is on |view|: a file is being loaded into it.
bool IsViewBeingLoaded(HWND view);

LRESULT CALLBACK PlayerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
