#include "preview_bitmap.h"

#include <wincodec.h>

#include <memory>
#include <new>

#include "bitmap_info.h"
#include "scoped_gdi_obj.h"

namespace {

// Beyond this a file is no video frame, and its pixels would not be worth the memory.
constexpr UINT kLargestSide = 16384;
constexpr UINT kBytesPerPixel = 4;

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

 private:
  T* object_ = nullptr;
};

// The pixels (TopDown32BitInfo) in a bitmap of the screen's own format.
HBITMAP DeviceBitmap(const BYTE* pixels, PixelSize size) {
  const ScreenDc screen;
  if (screen.Get() == nullptr) return nullptr;
  ScopedGdiObj<HBITMAP> bitmap(CreateCompatibleBitmap(screen.Get(), size.Width, size.Height));
  if (bitmap.Get() == nullptr) return nullptr;
  const BITMAPINFO info = TopDown32BitInfo(size.Width, size.Height);
  if (SetDIBits(screen.Get(), bitmap.Get(), 0, static_cast<UINT>(size.Height), pixels, &info, DIB_RGB_COLORS) !=
      size.Height) {
    return nullptr;
  }
  return bitmap.Release();
}

}  // namespace

HBITMAP DecodePreviewBitmap(const std::wstring& imagePath, PixelSize box) {
  const ComOnThisThread com;
  if (!com.Usable()) return nullptr;
  ComRef<IWICImagingFactory> factory;
  ComRef<IWICBitmapDecoder> decoder;
  ComRef<IWICBitmapFrameDecode> frame;
  UINT width = 0, height = 0;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              reinterpret_cast<void**>(factory.Receive()))) ||
      FAILED(factory->CreateDecoderFromFilename(imagePath.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, decoder.Receive())) ||
      FAILED(decoder->GetFrame(0, frame.Receive())) ||
      FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0 || width > kLargestSide ||
      height > kLargestSide) {
    return nullptr;
  }
  const PixelSize image{static_cast<int>(width), static_cast<int>(height)};
  const PixelSize size = FitPreviewSize(image, box);
  if (size.Width == 0) return nullptr;

  ComRef<IWICFormatConverter> converter;
  if (FAILED(factory->CreateFormatConverter(converter.Receive())) ||
      FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom))) {
    return nullptr;
  }
  IWICBitmapSource* source = converter.Get();
  ComRef<IWICBitmapScaler> scaler;
  if (size != image) {
    // Fant averages every source pixel into the one it shrinks to (Windows 7 has it).
    if (FAILED(factory->CreateBitmapScaler(scaler.Receive())) ||
        FAILED(scaler->Initialize(converter.Get(), static_cast<UINT>(size.Width), static_cast<UINT>(size.Height),
                                  WICBitmapInterpolationModeFant))) {
      return nullptr;
    }
    source = scaler.Get();
  }
  const UINT stride = static_cast<UINT>(size.Width) * kBytesPerPixel;
  const UINT bytes = stride * static_cast<UINT>(size.Height);
  const std::unique_ptr<BYTE[]> pixels(new (std::nothrow) BYTE[bytes]);
  if (pixels == nullptr || FAILED(source->CopyPixels(nullptr, stride, bytes, pixels.get()))) return nullptr;
  return DeviceBitmap(pixels.get(), size);
}
