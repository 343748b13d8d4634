// What the user's keys, wheel and clicks over the view tell its player.
#include "view_input.h"

#include <windowsx.h>

#include <cstdlib>

#include "full_screen.h"
#include "key_table.h"
#include "player_process.h"
#include "player_watch.h"
#include "remembered_sound.h"
#include "view_session.h"
#include "view_window.h"

namespace {

// Our command writes let host code run while they wait, which may close this
// view or give it the next file: after one, the view is acted on only if it
// still holds the same record.
bool StillOpen(HWND window, const PlayerContext* stored, const PlayerContext& copy) {
  return ViewContext(window) == stored && stored->Serial == copy.Serial;
}

// Sends through the copy; what came of the write is kept in the stored record
// while the view still holds it. True when the command was written whole; false,
// with nothing written or noted, for an action this player is not told.
bool Send(HWND window, PlayerContext* stored, const PlayerContext& copy, PlayerAction action) {
  if (!PlayerIsTold(copy, action)) return false;
  const bool whole = SendPlayerAction(copy, action);
  if (StillOpen(window, stored, copy)) stored->CommandCut = !whole;
  return whole;
}

// A volume change, then the question that has the player report its level (for
// a player that does not report every change by itself).
void SendVolume(HWND window, PlayerContext* stored, const PlayerContext& copy, PlayerAction action) {
  if (Send(window, stored, copy, action) && StillOpen(window, stored, copy)) {
    Send(window, stored, copy, PlayerAction::AskSound);
  }
}

bool IsVolumeChange(PlayerAction action) {
  return action == PlayerAction::VolumeUp || action == PlayerAction::VolumeDown;
}

// A toggle's state follows what the player was told: a dropped command leaves it as it was.
void ToggleLoop(HWND window, PlayerContext* stored, const PlayerContext& copy) {
  if (Send(window, stored, copy, copy.Looping ? PlayerAction::LoopOff : PlayerAction::LoopOn) &&
      StillOpen(window, stored, copy)) {
    stored->Looping = !copy.Looping;
  }
}

// Muting is what the player was told: remembered as such, for a view that remembers.
void ToggleMute(HWND window, PlayerContext* stored, const PlayerContext& copy) {
  // Read before the write's wait, inside which a close may free the watch.
  const bool remember = copy.Watch != nullptr && copy.Watch->Remember;
  if (Send(window, stored, copy, copy.Muted ? PlayerAction::MuteOff : PlayerAction::MuteOn)) {
    if (remember) RememberMuted(!copy.Muted);
    if (StillOpen(window, stored, copy)) stored->Muted = !copy.Muted;
  }
}

}  // namespace

void OnViewKeyDown(HWND window, WPARAM virtualKey) {
  PlayerContext* stored = ViewContext(window);
  if (stored == nullptr) return;
  // Commands go through a copy taken before any flag changes; the toggles live in the stored record.
  const PlayerContext copy = *stored;
  const KeyBinding* binding = FindKeyBinding(static_cast<std::uint32_t>(virtualKey));
  if (binding == nullptr) return;
  switch (binding->Action) {
    case KeyAction::Send:
      if (IsVolumeChange(binding->Player)) SendVolume(window, stored, copy, binding->Player);
      else Send(window, stored, copy, binding->Player);
      break;
    case KeyAction::ToggleLoop:
      ToggleLoop(window, stored, copy);
      break;
    case KeyAction::ToggleMute:
      ToggleMute(window, stored, copy);
      break;
    case KeyAction::Quit:
      Send(window, stored, copy, binding->Player);
      // Closing the Lister window makes the host close this view properly. A view
      // closed meanwhile has no Lister to ask, and a null target would post the
      // close to the host's own thread.
      if (StillOpen(window, stored, copy)) {
        if (HWND lister = ListerOf(window, *stored); lister != nullptr) PostMessageW(lister, WM_CLOSE, 0, 0);
      }
      break;
  }
}

void OnViewCharacter(HWND window, WPARAM character) {
  PlayerContext* stored = ViewContext(window);
  const CharacterBinding* binding = FindCharacterBinding(static_cast<wchar_t>(character));
  if (stored == nullptr || binding == nullptr) return;
  const PlayerContext copy = *stored;
  Send(window, stored, copy, binding->Player);
}

// The wheel sets the volume, or seeks 10 seconds with Wheel=seek: away from the
// user (a positive turn) is up, or forward. False for a view without a player.
bool OnViewWheel(HWND window, WPARAM wParam) {
  PlayerContext* stored = ViewContext(window);
  if (stored == nullptr) return false;
  const PlayerContext copy = *stored;
  const bool up = GET_WHEEL_DELTA_WPARAM(wParam) > 0;
  if (copy.WheelSeeks) Send(window, stored, copy, up ? PlayerAction::SeekForward10 : PlayerAction::SeekBack10);
  else SendVolume(window, stored, copy, up ? PlayerAction::VolumeUp : PlayerAction::VolumeDown);
  return true;
}

// A left click, on the view or on the player's window inside it (view client
// coordinates; |time| in the message clock). Each click pauses or plays at once,
// so that a single click is never held back waiting for a second. The second
// click of a double click (within the system's double-click time and distance of
// the first) plays or pauses back and switches full screen, as the host's command
// does: a double click leaves playing as it was.
void OnViewLeftClick(HWND window, int x, int y, DWORD time) {
  PlayerContext* stored = ViewContext(window);
  if (stored == nullptr) return;
  const PlayerContext copy = *stored;
  const bool second = copy.ClickPending && time - copy.ClickTime <= GetDoubleClickTime() &&
                      std::abs(x - copy.ClickX) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
                      std::abs(y - copy.ClickY) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
  // Noted before any wait of ours lets host code in; a third click begins anew.
  stored->ClickPending = !second;
  stored->ClickTime = time;
  stored->ClickX = x;
  stored->ClickY = y;
  Send(window, stored, copy, PlayerAction::Pause);
  if (second && StillOpen(window, stored, copy)) ToggleViewFullScreen(window);
}

// A button pressed over a child window of the view (the player's own window, which
// takes the click) is told to the view by the system; only the left one counts.
void OnViewParentNotify(HWND window, WPARAM wParam, LPARAM lParam) {
  if (LOWORD(wParam) != WM_LBUTTONDOWN) return;
  // Sent by the child's thread: this thread's message time is not the click's.
  OnViewLeftClick(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), static_cast<DWORD>(GetTickCount64()));
}

void SendViewAction(HWND view, PlayerAction action) {
  PlayerContext* stored = ViewContext(view);
  if (stored == nullptr) return;
  const PlayerContext copy = *stored;
  Send(view, stored, copy, action);
}
