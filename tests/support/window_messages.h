#pragma once
#include <windows.h>

#include <algorithm>
#include <utility>
#include <vector>

// Removes a WM_QUIT waiting for this thread, so that a failing check can't end the
// test program's own loop. A message pump removes it unseen: check before pumping.
inline bool QuitPosted() {
  MSG message;
  return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

// Dispatches the queued |message|s for |window| and nothing else; how many there were.
inline int DispatchQueued(HWND window, UINT message) {
  int dispatched = 0;
  MSG queued;
  while (PeekMessageW(&queued, window, message, message, PM_REMOVE)) {
    DispatchMessageW(&queued);
    ++dispatched;
  }
  return dispatched;
}

// Subclasses a window, as a host may, and keeps every message that reaches it
// before passing it on to the window's own procedure; and every move or resize
// asked of it, as SetWindowPos hands it over before the window is fitted to the screen.
class MessageRecorder {
 public:
  explicit MessageRecorder(HWND window) : window_(window) {
    SetPropW(window_, kProperty, this);
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageRecorder::Procedure)));
  }
  MessageRecorder(const MessageRecorder&) = delete;
  MessageRecorder& operator=(const MessageRecorder&) = delete;
  ~MessageRecorder() {
    if (!IsWindow(window_)) return;
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    RemovePropW(window_, kProperty);
  }

  // How often |message| arrived (with |wParam|, when one is given).
  size_t Count(UINT message) const {
    return static_cast<size_t>(
        std::count_if(seen_.begin(), seen_.end(), [&](const auto& seen) { return seen.first == message; }));
  }
  size_t Count(UINT message, WPARAM wParam) const {
    return static_cast<size_t>(std::count(seen_.begin(), seen_.end(), std::make_pair(message, wParam)));
  }
  const std::vector<WINDOWPOS>& Moves() const { return moves_; }

 private:
  static constexpr wchar_t kProperty[] = L"ReelpaneTestMessageRecorder";

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<MessageRecorder*>(GetPropW(window, kProperty));
    self->seen_.emplace_back(message, wParam);
    if (message == WM_WINDOWPOSCHANGING) {
      const auto& position = *reinterpret_cast<const WINDOWPOS*>(lParam);
      // Activation and z-order changes neither move nor resize.
      if ((position.flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) self->moves_.push_back(position);
    }
    return CallWindowProcW(self->original_, window, message, wParam, lParam);
  }

  HWND window_;
  WNDPROC original_ = nullptr;
  std::vector<std::pair<UINT, WPARAM>> seen_;
  std::vector<WINDOWPOS> moves_;
};
