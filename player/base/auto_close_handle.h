#pragma once
#include <windows.h>

#include <utility>

// Sole owner of one kernel handle; closes it when it goes out of scope unless
// ownership is handed on with Release().
class AutoCloseHandle {
 public:
  AutoCloseHandle() = default;
  explicit AutoCloseHandle(HANDLE handle) : handle_(handle) {}
  AutoCloseHandle(const AutoCloseHandle&) = delete;
  AutoCloseHandle& operator=(const AutoCloseHandle&) = delete;
  AutoCloseHandle(AutoCloseHandle&& other) noexcept : handle_(other.Release()) {}
  AutoCloseHandle& operator=(AutoCloseHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~AutoCloseHandle() { Reset(); }

  HANDLE Get() const { return handle_; }
  HANDLE* Receive() {
    Reset();
    return &handle_;
  }
  bool IsValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Release() { return std::exchange(handle_, nullptr); }
  void Reset(HANDLE handle = nullptr) {
    if (IsValid()) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};
