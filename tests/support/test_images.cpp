#include "test_images.h"

#include <wincodec.h>

#include <algorithm>
#include <cstdlib>

#include "bitmap_info.h"

namespace {

template <typename T>
void Release(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

}  // namespace

BitmapPixels QuartersPicture(int width, int height, const Quarters& colours) {
  BitmapPixels picture{width, height, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) picture.Rgb.push_back(colours[(y < height / 2 ? 0 : 2) + (x < width / 2 ? 0 : 1)]);
  }
  return picture;
}

bool WritePng(const std::wstring& path, const BitmapPixels& picture) {
  const int width = picture.Width, height = picture.Height;
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  IWICImagingFactory* factory = nullptr;
  IWICStream* stream = nullptr;
  IWICBitmapEncoder* encoder = nullptr;
  IWICBitmapFrameEncode* frame = nullptr;
  IPropertyBag2* properties = nullptr;
  const UINT stride = static_cast<UINT>(width) * 3;
  std::vector<BYTE> pixels(static_cast<size_t>(stride) * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::uint32_t colour = picture.At(x, y);
      BYTE* pixel = &pixels[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3];
      pixel[0] = static_cast<BYTE>(colour);  // blue first
      pixel[1] = static_cast<BYTE>(colour >> 8);
      pixel[2] = static_cast<BYTE>(colour >> 16);
    }
  }
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  const bool written =
      SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                 reinterpret_cast<void**>(&factory))) &&
      SUCCEEDED(factory->CreateStream(&stream)) &&
      SUCCEEDED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) &&
      SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
      SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
      SUCCEEDED(encoder->CreateNewFrame(&frame, &properties)) && SUCCEEDED(frame->Initialize(properties)) &&
      SUCCEEDED(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height))) &&
      SUCCEEDED(frame->SetPixelFormat(&format)) && IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) &&
      SUCCEEDED(frame->WritePixels(static_cast<UINT>(height), stride, static_cast<UINT>(pixels.size()),
                                   pixels.data())) &&
      SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
  Release(properties);
  Release(frame);
  Release(encoder);
  Release(stream);
  Release(factory);
  if (SUCCEEDED(com)) CoUninitialize();
  return written;
}

BitmapPixels ReadBitmap(HBITMAP bitmap) {
  BitmapPixels read;
  BITMAP description{};
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof(description), &description) == 0) return read;
  BITMAPINFO info = TopDown32BitInfo(description.bmWidth, description.bmHeight);
  std::vector<std::uint32_t> rows(static_cast<size_t>(description.bmWidth) * static_cast<size_t>(description.bmHeight));
  HDC screen = GetDC(nullptr);
  const int copied = GetDIBits(screen, bitmap, 0, static_cast<UINT>(description.bmHeight), rows.data(), &info,
                               DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (copied != description.bmHeight) return read;
  read.Width = description.bmWidth;
  read.Height = description.bmHeight;
  read.Rgb.reserve(rows.size());
  for (std::uint32_t pixel : rows) read.Rgb.push_back(pixel & 0xFFFFFF);  // BGRA in memory is 0xAARRGGBB
  return read;
}

int ChannelDistance(std::uint32_t a, std::uint32_t b) {
  int largest = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int difference = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    largest = std::max(largest, std::abs(difference));
  }
  return largest;
}
