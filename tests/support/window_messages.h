#pragma once
#include <windows.h>

#include <algorithm>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "plugin_host.h"

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

// Host code that runs inside the first |message| (with |wParam|'s low word, when
// given) that reaches |window|, subclassed as a host may: a host that closes the
// view or loads the next file when a child window appears in its Lister
// (WM_PARENTNOTIFY) or when it is activated. The message goes on to the window's
// own procedure afterwards, if the window is still there.
class HostCodeOnMessage {
 public:
  HostCodeOnMessage(HWND window, UINT message, std::function<void()> action, int lowWord = -1)
      : window_(window), message_(message), lowWord_(lowWord), action_(std::move(action)) {
    SetPropW(window_, kProperty, this);
    original_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&HostCodeOnMessage::Procedure)));
  }
  HostCodeOnMessage(const HostCodeOnMessage&) = delete;
  HostCodeOnMessage& operator=(const HostCodeOnMessage&) = delete;
  ~HostCodeOnMessage() {
    if (!IsWindow(window_) || GetPropW(window_, kProperty) != this) return;
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    RemovePropW(window_, kProperty);
  }

  bool Ran() const { return ran_; }

 private:
  static constexpr wchar_t kProperty[] = L"ReelpaneTestHostCodeOnMessage";

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<HostCodeOnMessage*>(GetPropW(window, kProperty));
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    const WNDPROC original = self->original_;
    if (message == WM_NCDESTROY) RemovePropW(window, kProperty);
    if (!self->ran_ && message == self->message_ &&
        (self->lowWord_ < 0 || LOWORD(wParam) == static_cast<WORD>(self->lowWord_))) {
      self->ran_ = true;
      self->action_();
      if (!IsWindow(window)) return 0;
    }
    return CallWindowProcW(original, window, message, wParam, lParam);
  }

  HWND window_;
  UINT message_;
  int lowWord_;
  std::function<void()> action_;
  WNDPROC original_ = nullptr;
  bool ran_ = false;
};

// Host code that runs on this thread inside whatever the thread is doing |delayMs|
// from now: another thread sends this thread a message then, as another program
// or a hotkey tool may send the file manager one, so |action| runs inside any of
// the plugin's waits that answer sent messages (or when this thread next pumps).
class SentHostCode {
 public:
  SentHostCode(DWORD delayMs, std::function<void()> action)
      : SentHostCode([end = GetTickCount64() + delayMs] { return GetTickCount64() >= end; }, std::move(action)) {}

  // The same, once |ready| holds (asked on the sending thread, every millisecond, for
  // a minute at the most), for host code that must run inside one particular wait.
  SentHostCode(std::function<bool()> ready, std::function<void()> action) : action_(std::move(action)) {
    static const ATOM windowClass = [] {
      WNDCLASSW registered{};
      registered.lpfnWndProc = &SentHostCode::Procedure;
      registered.hInstance = GetModuleHandleW(nullptr);
      registered.lpszClassName = L"ReelpaneTestSentHostCode";
      return RegisterClassW(&registered);
    }();
    target_ = CreateWindowExW(0, reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(windowClass)), L"", 0, 0, 0, 0, 0,
                              HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(target_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    sender_ = std::thread([this, ready = std::move(ready)] {
      for (const ULONGLONG end = GetTickCount64() + 60000; !ready() && GetTickCount64() < end;) Sleep(1);
      SendMessageW(target_, WM_APP, 0, 0);
    });
  }
  SentHostCode(const SentHostCode&) = delete;
  SentHostCode& operator=(const SentHostCode&) = delete;
  ~SentHostCode() {
    // The sender waits for this thread to answer.
    while (!ran_) PumpMessages(5);
    sender_.join();
    DestroyWindow(target_);
  }

  bool Ran() const { return ran_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<SentHostCode*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message != WM_APP || self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    self->ran_ = true;
    self->action_();
    return 0;
  }

  std::function<void()> action_;
  HWND target_ = nullptr;
  bool ran_ = false;
  std::thread sender_;
};
