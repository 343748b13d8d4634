#include "preview_bitmap.h"

#include <wincodec.h>

#include <algorithm>
#include <memory>
#include <new>

#include "bitmap_info.h"
#include "scoped_gdi_obj.h"

namespace {

// Beyond this a file is no video frame, and its pixels would not be worth the memory.
constexpr UINT kLargestSide = 16384;
constexpr UINT kBytesPerPixel = 4;
// The player was asked for a frame that fits the box (MPlayer's of a video stored
// within the box may be wider by its pixels' shape). One much larger, from a
// player that did not scale, is not decoded: it would cost the host a huge
// frame's memory and the time the call's bound keeps for the decoding.
constexpr UINT kLargestOverBox = 4;
constexpr UINT kLargestSideAnyBox = 2048;

bool LargerThanAskedFor(UINT width, UINT height, PixelSize box) {
  const auto largest = [](int side) { return std::max(kLargestOverBox * static_cast<UINT>(side), kLargestSideAnyBox); };
  return width > std::min(largest(box.Width), kLargestSide) || height > std::min(largest(box.Height), kLargestSide);
}

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

PreviewDecoder::PreviewDecoder() {
  if (!com_.Usable() ||
      FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              reinterpret_cast<void**>(factory_.Receive())))) {
    factory_.Reset();
  }
}

HBITMAP PreviewDecoder::Decode(const std::wstring& imagePath, PixelSize box) const {
  IWICImagingFactory* const factory = factory_.Get();
  if (factory == nullptr) return nullptr;
  ComRef<IWICBitmapDecoder> decoder;
  ComRef<IWICBitmapFrameDecode> frame;
  UINT width = 0, height = 0;
  if (FAILED(factory->CreateDecoderFromFilename(imagePath.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, decoder.Receive())) ||
      FAILED(decoder->GetFrame(0, frame.Receive())) ||
      FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0 ||
      LargerThanAskedFor(width, height, box)) {
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
