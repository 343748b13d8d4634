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

}  // namespace

bool SaveBitmap(HBITMAP bitmap, const std::wstring& bmpPath) {
  BITMAP description{};
  if (bitmap == nullptr || GetObjectW(bitmap, sizeof(description), &description) == 0) return false;
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = description.bmWidth;
  header.biHeight = description.bmHeight;  // bottom-up rows, as BMP files keep them
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  const DWORD stride = static_cast<DWORD>((description.bmWidth * 3 + 3) & ~3);
  header.biSizeImage = stride * static_cast<DWORD>(description.bmHeight);
  std::string rows(header.biSizeImage, '\0');
  ScreenDc screen;
  if (GetDIBits(screen.Get(), bitmap, 0, static_cast<UINT>(description.bmHeight), rows.data(),
                reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS) != description.bmHeight) {
    return false;
  }
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + header.biSizeImage;
  std::string bytes;
  bytes.reserve(file.bfSize);
  Append(bytes, file);
  Append(bytes, header);
  bytes += rows;
  return WriteWholeFile(bmpPath, bytes);
}

bool SaveWindowScreenshot(HWND window, const std::wstring& bmpPath) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return false;
  const LONG width = rect.right - rect.left;
  const LONG height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  ScreenDc screen;
  MemoryDc memory(screen.Get());
  ScopedGdiObj<HBITMAP> bitmap(CreateCompatibleBitmap(screen.Get(), width, height));
  if (screen.Get() == nullptr || memory.Get() == nullptr || bitmap.Get() == nullptr) return false;
  const HGDIOBJ previous = SelectObject(memory.Get(), bitmap.Get());
  const bool copied = BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), rect.left, rect.top, SRCCOPY) != FALSE;
  SelectObject(memory.Get(), previous);
  return copied && SaveBitmap(bitmap.Get(), bmpPath);
}
