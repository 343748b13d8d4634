#pragma once
#include <windows.h>

#include <utility>

// Sole owner of one GDI object, deleted when it goes out of scope.
template <typename T>
class ScopedGdiObj {
 public:
  explicit ScopedGdiObj(T object) : object_(object) {}
  ScopedGdiObj(const ScopedGdiObj&) = delete;
  ScopedGdiObj& operator=(const ScopedGdiObj&) = delete;
  ~ScopedGdiObj() {
    if (object_ != nullptr) DeleteObject(object_);
  }
  T Get() const { return object_; }
  // Hands the object on; nothing is deleted.
  T Release() { return std::exchange(object_, nullptr); }

 private:
  T object_;
};

// The screen's device context, released when it goes out of scope.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  ~ScreenDc() {
    if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
  }
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};
