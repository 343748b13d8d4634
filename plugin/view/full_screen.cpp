#include "full_screen.h"

#include <memory>

#include "view_window.h"

struct FullScreenView {
  HWND Lister = nullptr;
  RECT Place{};  // in the Lister's client area
  LONG_PTR Style = 0;
  LONG_PTR ExStyle = 0;
  HWND Focus = nullptr;        // had the keyboard focus before
  HWND Placeholder = nullptr;  // null once it is being destroyed
  bool Placing = false;        // the view is being moved over the monitor by us, not by the host
};

namespace {

constexpr LONG_PTR kFrameStyles = WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME;

// The record is packed: its members are copied out and assigned, never bound to a reference.
FullScreenView* TakeFullScreen(PlayerContext& context) {
  FullScreenView* state = context.FullScreen;
  context.FullScreen = nullptr;
  return state;
}

// The Lister is being destroyed with the placeholder in it: the view goes too.
void OnPlaceholderDestroyed(HWND placeholder) {
  const auto view = reinterpret_cast<HWND>(GetWindowLongPtrW(placeholder, GWLP_USERDATA));
  PlayerContext* stored = ViewContext(view);
  if (stored == nullptr || stored->FullScreen == nullptr || stored->FullScreen->Placeholder != placeholder) return;
  stored->FullScreen->Placeholder = nullptr;
  DestroyWindow(view);
}

// The placeholder is a window of the system's STATIC class; this procedure sees
// its messages first and hands each on to the class's own.
LRESULT CALLBACK PlaceholderProc(HWND placeholder, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) OnPlaceholderDestroyed(placeholder);
  const auto classProcedure = reinterpret_cast<WNDPROC>(GetClassLongPtrW(placeholder, GCLP_WNDPROC));
  return CallWindowProcW(classProcedure, placeholder, message, wParam, lParam);
}

HWND CreatePlaceholder(HWND lister, HWND view) {
  HWND placeholder = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 0, 0, lister, nullptr, nullptr, nullptr);
  if (placeholder == nullptr) return nullptr;
  SetWindowLongPtrW(placeholder, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
  SetWindowLongPtrW(placeholder, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PlaceholderProc));
  return placeholder;
}

void DestroyPlaceholder(HWND placeholder) {
  if (placeholder == nullptr) return;
  SetWindowLongPtrW(placeholder, GWLP_USERDATA, 0);  // its end no longer ends the view
  DestroyWindow(placeholder);
}

// The view's record as it was when the switch began, told apart from whatever
// host code run inside the switch may have left in its place: nothing (the view
// closed, or destroyed with its Lister), the next file's record, or the same
// record shown in the Lister again (the host's command 2 once more).
class SwitchedRecord {
 public:
  SwitchedRecord(HWND view, const PlayerContext& record) : view_(view), record_(&record), serial_(record.Serial) {}
  // The record, when the view still holds it; null otherwise. Only compared, never
  // read, until the view is found to hold it.
  PlayerContext* Live() const {
    PlayerContext* current = ViewContext(view_);
    return current == record_ && current->Serial == serial_ ? current : nullptr;
  }
  // Whether the record still holds |state|: nobody has put the view back meanwhile.
  bool StillHolds(const FullScreenView* state) const {
    const PlayerContext* current = Live();
    return current != nullptr && current->FullScreen == state;
  }

 private:
  HWND view_;
  const PlayerContext* record_;
  unsigned serial_;
};

// Every call below that changes a window may run host code (the placeholder's
// creation notifies the Lister; a new parent, owner, place or focus sends
// activation and focus messages), which may close the view, give it the next
// file or destroy the Lister. After each, the switch goes on only while the view
// still holds the record and the record this switch's state: otherwise whoever
// took them has closed the view or put it back, and nothing more is touched.
void EnterFullScreen(HWND view, PlayerContext& stored) {
  HWND lister = GetParent(view);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (lister == nullptr || !GetMonitorInfoW(MonitorFromWindow(lister, MONITOR_DEFAULTTONEAREST), &monitor)) return;
  const SwitchedRecord record(view, stored);
  auto state = std::make_unique<FullScreenView>();
  state->Lister = lister;
  GetWindowRect(view, &state->Place);
  MapWindowPoints(nullptr, lister, reinterpret_cast<POINT*>(&state->Place), 2);
  state->Style = GetWindowLongPtrW(view, GWL_STYLE);
  state->ExStyle = GetWindowLongPtrW(view, GWL_EXSTYLE);
  state->Focus = GetFocus();
  state->Placing = true;
  state->Placeholder = CreatePlaceholder(lister, view);
  PlayerContext* live = record.Live();
  if (state->Placeholder == nullptr || live == nullptr || live->FullScreen != nullptr) {
    DestroyPlaceholder(state->Placeholder);
    return;
  }
  const LONG_PTR style = (state->Style & ~(WS_CHILD | kFrameStyles)) | WS_POPUP;
  const RECT screen = monitor.rcMonitor;
  // Owned by the Lister's top-level window: no task bar button of its own, and
  // minimised with it.
  HWND owner = GetAncestor(lister, GA_ROOT);
  FullScreenView* const placed = state.release();
  live->FullScreen = placed;  // from here on the record owns the state and the placeholder

  SetParent(view, nullptr);
  if (!record.StillHolds(placed)) return;
  SetWindowLongPtrW(view, GWL_STYLE, style);
  if (!record.StillHolds(placed)) return;
  SetWindowLongPtrW(view, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
  if (!record.StillHolds(placed)) return;
  SetWindowPos(view, HWND_TOPMOST, screen.left, screen.top, screen.right - screen.left, screen.bottom - screen.top,
               SWP_SHOWWINDOW | SWP_FRAMECHANGED);
  if (!record.StillHolds(placed)) return;
  placed->Placing = false;
  SetForegroundWindow(view);
  if (!record.StillHolds(placed)) return;
  SetFocus(view);
}

}  // namespace

void LeaveFullScreen(HWND view, PlayerContext& stored) {
  // Taken out of the record before any host code can run, which then finds the view as not shown full screen.
  const std::unique_ptr<FullScreenView> state(TakeFullScreen(stored));
  if (state == nullptr) return;
  DestroyPlaceholder(state->Placeholder);
  const RECT& place = state->Place;
  SetWindowLongPtrW(view, GWLP_HWNDPARENT, 0);  // no owner: while it is a pop-up, this slot is its owner
  SetWindowPos(view, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
  SetWindowLongPtrW(view, GWL_STYLE, state->Style);
  SetParent(view, state->Lister);
  // Becoming a child again may add styles of its own (clipping siblings): the view gets its own back.
  SetWindowLongPtrW(view, GWL_STYLE, state->Style);
  SetWindowLongPtrW(view, GWL_EXSTYLE, state->ExStyle);
  SetWindowPos(view, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  if (IsWindow(state->Focus)) SetFocus(state->Focus);
}

void ToggleFullScreen(HWND view, PlayerContext& stored) {
  if (stored.FullScreen == nullptr) EnterFullScreen(view, stored);
  else LeaveFullScreen(view, stored);
}

void KeepFullScreenPlace(HWND view, WINDOWPOS& position) {
  const PlayerContext* stored = ViewContext(view);
  if (stored == nullptr || stored->FullScreen == nullptr || stored->FullScreen->Placing) return;
  constexpr UINT kKeptPlace = SWP_NOMOVE | SWP_NOSIZE;
  if ((position.flags & kKeptPlace) == kKeptPlace) return;
  // The host sizes its plugin's window to the Lister's client area, as for a
  // child: that is where the view goes back to.
  RECT& place = stored->FullScreen->Place;
  if ((position.flags & SWP_NOMOVE) == 0) OffsetRect(&place, position.x - place.left, position.y - place.top);
  if ((position.flags & SWP_NOSIZE) == 0) {
    place.right = place.left + position.cx;
    place.bottom = place.top + position.cy;
  }
  position.flags |= kKeptPlace;
}

HWND ListerOf(HWND view, const PlayerContext& stored) {
  return stored.FullScreen != nullptr ? stored.FullScreen->Lister : GetParent(view);
}

void ReleaseFullScreen(PlayerContext& context) {
  const std::unique_ptr<FullScreenView> state(TakeFullScreen(context));
  if (state != nullptr) DestroyPlaceholder(state->Placeholder);
}
