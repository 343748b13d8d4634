#include "view_window.h"

#include <windowsx.h>

#include <cwchar>

#include "color_key.h"
#include "full_screen.h"
#include "scoped_gdi_obj.h"
#include "view_input.h"
#include "view_session.h"

namespace {

constexpr wchar_t kClassName[] = L"MPWinClass";
constexpr wchar_t kWindowTitle[] = L"MPWin";
// The window's extra bytes: the opening sequence's destruction flag while it runs.
constexpr int kDestructionFlagSlot = 0;

// A fresh brush for every paint, deleted after EndPaint.
void OnNcPaint(HWND window) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  RECT client{};
  GetClientRect(window, &client);
  ScopedGdiObj<HBRUSH> brush(CreateSolidBrush(ColorKey));
  FillRect(dc, &client, brush.Get());
  EndPaint(window, &paint);
}


// A view destroyed without the host's close (its Lister window destroyed first)
// must not leave its player running or its record behind.
void OnDestroy(HWND window) {
  if (auto* destroyed = reinterpret_cast<bool*>(GetWindowLongPtrW(window, kDestructionFlagSlot))) *destroyed = true;
  ReleaseDestroyedView(window);
}

}  // namespace

void RegisterPlayerWindowClass(HINSTANCE instance) {
  WNDCLASSW windowClass{};
  windowClass.style = CS_OWNDC;
  windowClass.lpfnWndProc = PlayerWindowProc;
  windowClass.cbWndExtra = sizeof(void*);
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(nullptr, IDI_WINLOGO);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kClassName;
  RegisterClassW(&windowClass);
}

void UnregisterPlayerWindowClass(HINSTANCE instance) { UnregisterClassW(kClassName, instance); }

HWND CreatePlayerViewWindow(HWND lister, HINSTANCE instance) {
  return CreateWindowExW(0, kClassName, kWindowTitle, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, lister, nullptr, instance,
                         nullptr);
}

void StoreViewContext(HWND view, PlayerContext* context) {
  static unsigned serial = 0;
  if (context != nullptr) context->Serial = ++serial;
  SetWindowLongPtrW(view, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(context));
}

bool IsPlayerView(HWND view) {
  // The host may hand us any window. The class's procedure tells ours apart: the
  // window's own one changes when the host subclasses the view, and that view must
  // still take keys and be closed.
  wchar_t className[std::size(kClassName) + 1] = {};
  return view != nullptr && GetClassNameW(view, className, static_cast<int>(std::size(className))) != 0 &&
         std::wcscmp(className, kClassName) == 0 &&
         GetClassLongPtrW(view, GCLP_WNDPROC) == reinterpret_cast<ULONG_PTR>(PlayerWindowProc);
}

PlayerContext* ViewContext(HWND view) {
  if (!IsPlayerView(view)) return nullptr;
  return reinterpret_cast<PlayerContext*>(GetWindowLongPtrW(view, GWLP_USERDATA));
}

std::unique_ptr<PlayerContext> TakeViewContext(HWND view) {
  std::unique_ptr<PlayerContext> taken(ViewContext(view));
  if (taken != nullptr) StoreViewContext(view, nullptr);
  return taken;
}

DestructionWatch::DestructionWatch(HWND view) : view_(view) {
  SetWindowLongPtrW(view_, kDestructionFlagSlot, reinterpret_cast<LONG_PTR>(&destroyed_));
}

DestructionWatch::~DestructionWatch() {
  if (!destroyed_) SetWindowLongPtrW(view_, kDestructionFlagSlot, 0);
}

bool IsViewBeingLoaded(HWND view) { return GetWindowLongPtrW(view, kDestructionFlagSlot) != 0; }

namespace {

LRESULT HandleViewMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CLOSE:
      // The view lives on the host's own thread: a quit message here would end
      // the file manager's message loop. The host closes views through ListCloseWindow.
      return 0;
    case WM_NCPAINT:
      OnNcPaint(window);
      return 0;
    case WM_KEYDOWN:
      OnViewKeyDown(window, wParam);
      return 0;
    case WM_CHAR:
      OnViewCharacter(window, wParam);
      return 0;
    case WM_MOUSEWHEEL:
      if (OnViewWheel(window, wParam)) return 0;
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_LBUTTONDOWN:
      OnViewLeftClick(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), static_cast<DWORD>(GetMessageTime()));
      return 0;
    case WM_PARENTNOTIFY:
      OnViewParentNotify(window, wParam, lParam);
      return 0;
    case WM_DESTROY:
      OnDestroy(window);
      return 0;
    case WM_WINDOWPOSCHANGING:
      KeepFullScreenPlace(window, *reinterpret_cast<WINDOWPOS*>(lParam));
      return DefWindowProcW(window, message, wParam, lParam);
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace

LRESULT CALLBACK PlayerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Called from the host's message loop: as at the exports, no exception goes back into it.
  try {
    return HandleViewMessage(window, message, wParam, lParam);
  } catch (...) {
    return 0;
  }
}
