#include "full_screen.h"

#include <memory>
#include <utility>

#include "view_window.h"

struct FullScreenView {
  HWND Lister = nullptr;
  RECT Place{};  // in the Lister's client area
  LONG_PTR Style = 0;
  LONG_PTR ExStyle = 0;
  HWND Focus = nullptr;        // had the keyboard focus before
  HWND Placeholder = nullptr;  // null once it is being destroyed
};

namespace {

constexpr LONG_PTR kFrameStyles = WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_DLGFRAME;

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

void EnterFullScreen(HWND view, PlayerContext& stored) {
  HWND lister = GetParent(view);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  if (lister == nullptr || !GetMonitorInfoW(MonitorFromWindow(lister, MONITOR_DEFAULTTONEAREST), &monitor)) return;
  auto state = std::make_unique<FullScreenView>();
  state->Lister = lister;
  GetWindowRect(view, &state->Place);
  MapWindowPoints(nullptr, lister, reinterpret_cast<POINT*>(&state->Place), 2);
  state->Style = GetWindowLongPtrW(view, GWL_STYLE);
  state->ExStyle = GetWindowLongPtrW(view, GWL_EXSTYLE);
  state->Focus = GetFocus();
  state->Placeholder = CreatePlaceholder(lister, view);
  if (state->Placeholder == nullptr) return;
  const LONG_PTR style = (state->Style & ~(WS_CHILD | kFrameStyles)) | WS_POPUP;
  const RECT screen = monitor.rcMonitor;
  // Owned by the Lister's top-level window: no task bar button of its own, and
  // minimised with it.
  HWND owner = GetAncestor(lister, GA_ROOT);
  stored.FullScreen = state.release();

  SetParent(view, nullptr);
  SetWindowLongPtrW(view, GWL_STYLE, style);
  SetWindowLongPtrW(view, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
  SetWindowPos(view, HWND_TOPMOST, screen.left, screen.top, screen.right - screen.left, screen.bottom - screen.top,
               SWP_SHOWWINDOW | SWP_FRAMECHANGED);
  SetForegroundWindow(view);
  SetFocus(view);
}

}  // namespace

void LeaveFullScreen(HWND view, PlayerContext& stored) {
  const std::unique_ptr<FullScreenView> state(std::exchange(stored.FullScreen, nullptr));
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

HWND ListerOf(HWND view, const PlayerContext& stored) {
  return stored.FullScreen != nullptr ? stored.FullScreen->Lister : GetParent(view);
}

void ReleaseFullScreen(PlayerContext& context) {
  const std::unique_ptr<FullScreenView> state(std::exchange(context.FullScreen, nullptr));
  if (state != nullptr) DestroyPlaceholder(state->Placeholder);
}
