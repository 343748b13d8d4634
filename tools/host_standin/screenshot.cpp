#include "screenshot.h"

#include <string>

#include "scoped_gdi_obj.h"

namespace {

class MemoryDc {
 public:
  explicit MemoryDc(HDC compatible) : dc_(CreateCompatibleDC(compatible)) {}
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  ~MemoryDc() {
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  return ok;
}

template <typename T>
void Append(std::string& bytes, const T& value) {
  bytes.append(reinterpret_cast<const char*>(&value), sizeof(value));
}

BITMAPINFOHEADER RowsHeader(LONG width, LONG height) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = height;  // bottom-up rows, as BMP files keep them
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  header.biSizeImage = static_cast<DWORD>((width * 3 + 3) & ~3) * static_cast<DWORD>(height);
  return header;
}

std::optional<ScreenCapture> ReadRows(HBITMAP bitmap) {
  BITMAP description{};
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof(description), &description) == 0) return std::nullopt;
  BITMAPINFOHEADER header = RowsHeader(description.bmWidth, description.bmHeight);
  ScreenCapture capture{description.bmWidth, description.bmHeight, std::string(header.biSizeImage, '\0')};
  ScreenDc screen;
  if (GetDIBits(screen.Get(), bitmap, 0, static_cast<UINT>(description.bmHeight), capture.Rows.data(),
                reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS) != description.bmHeight) {
    return std::nullopt;
  }
  return capture;
}

bool SaveCapture(const std::optional<ScreenCapture>& capture, const std::wstring& bmpPath) {
  if (!capture) return false;
  const BITMAPINFOHEADER header = RowsHeader(capture->Width, capture->Height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + header.biSizeImage;
  std::string bytes;
  bytes.reserve(file.bfSize);
  Append(bytes, file);
  Append(bytes, header);
  bytes += capture->Rows;
  return WriteWholeFile(bmpPath, bytes);
}

}  // namespace

std::optional<ScreenCapture> CaptureWindow(HWND window) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return std::nullopt;
  const LONG width = rect.right - rect.left;
  const LONG height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return std::nullopt;
  ScreenDc screen;
  MemoryDc memory(screen.Get());
  ScopedGdiObj<HBITMAP> bitmap(CreateCompatibleBitmap(screen.Get(), width, height));
  if (screen.Get() == nullptr || memory.Get() == nullptr || bitmap.Get() == nullptr) return std::nullopt;
  const HGDIOBJ previous = SelectObject(memory.Get(), bitmap.Get());
  const bool copied = BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), rect.left, rect.top, SRCCOPY) != FALSE;
  SelectObject(memory.Get(), previous);
  if (!copied) return std::nullopt;
  return ReadRows(bitmap.Get());
}

bool SaveWindowScreenshot(HWND window, const std::wstring& bmpPath) { return SaveCapture(CaptureWindow(window), bmpPath); }

bool SaveBitmap(HBITMAP bitmap, const std::wstring& bmpPath) { return SaveCapture(ReadRows(bitmap), bmpPath); }

