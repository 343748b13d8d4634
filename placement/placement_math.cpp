#include "placement_math.h"

std::optional<ViewSizeMode> ParseViewSizeMode(std::wstring_view word) {
  if (word == L"normal") return ViewSizeMode::Normal;
  if (word == L"double") return ViewSizeMode::Double;
  if (word == L"scale_height") return ViewSizeMode::ScaleHeight;
  if (word == L"scale_width") return ViewSizeMode::ScaleWidth;
  if (word == L"smart") return ViewSizeMode::Smart;
  return std::nullopt;
}
