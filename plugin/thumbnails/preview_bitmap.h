#pragma once
#include <windows.h>
#include <wincodec.h>

#include <string>

#include "preview_size.h"

// COM on this thread for as long as this lives, if the thread had none.
class ComOnThisThread {
 public:
  ComOnThisThread() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ComOnThisThread(const ComOnThisThread&) = delete;
  ComOnThisThread& operator=(const ComOnThisThread&) = delete;
  ~ComOnThisThread() {
    if (SUCCEEDED(result_)) CoUninitialize();  // S_FALSE too: every success is counted
  }
  // The host's own single-threaded apartment serves as well.
  bool Usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

 private:
  HRESULT result_;
};

// Sole owner of one reference to a COM object.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (object_ != nullptr) object_->Release();
  }
  T* Get() const { return object_; }
  T* operator->() const { return object_; }
  T** Receive() { return &object_; }
  void Reset() {
    if (object_ != nullptr) object_->Release();
    object_ = nullptr;
  }

 private:
  T* object_ = nullptr;
};

// The Windows Imaging Component on this thread, for as long as this lives: COM
// is initialised and uninitialised here when the thread had it not, and used as
// it is when the thread already has it in either apartment mode. Any thread.
// Its first set-up in a process takes long (the component's libraries load):
// made before the player runs, it takes that time from the player's share of the
// thumbnail's bound, and the decoding after the player is short.
class PreviewDecoder {
 public:
  PreviewDecoder();
  PreviewDecoder(const PreviewDecoder&) = delete;
  PreviewDecoder& operator=(const PreviewDecoder&) = delete;

  bool Ready() const { return factory_.Get() != nullptr; }

  // The image file read and scaled into a device-dependent bitmap for the screen,
  // of FitPreviewSize(its size, |box|). The caller owns the bitmap; null when the
  // file is no image the system can read, or one far larger than the box (more
  // than four times its side, and 2048 pixels), which is not decoded at all.
  HBITMAP Decode(const std::wstring& imagePath, PixelSize box) const;

 private:
  ComOnThisThread com_;  // declared first: it outlives the factory
  ComRef<IWICImagingFactory> factory_;
};
