#pragma once
#include <windows.h>

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

 private:
  T object_;
};
