#include "preview_size.h"

#include <algorithm>

namespace {

// |part| * |scaleTo| / |scaleFrom| to the nearest whole number, between 1 and
// |limit|. In double precision: the products of two sides are exact there, and a
// 32-bit build needs no 64-bit division.
int ScaledSide(int part, int scaleTo, int scaleFrom, int limit) {
  const double exact = static_cast<double>(part) * scaleTo / scaleFrom;
  return std::clamp(static_cast<int>(std::min(exact + 0.5, static_cast<double>(limit))), 1, limit);
}

}  // namespace

PixelSize FitPreviewSize(PixelSize image, PixelSize box) {
  if (image.Width <= 0 || image.Height <= 0 || box.Width <= 0 || box.Height <= 0) return {};
  if (image.Width <= box.Width && image.Height <= box.Height) return image;
  // Wider than the box's shape: the width fills it, else the height does.
  if (static_cast<double>(image.Width) * box.Height >= static_cast<double>(image.Height) * box.Width) {
    return {box.Width, ScaledSide(image.Height, box.Width, image.Width, box.Height)};
  }
  return {ScaledSide(image.Width, box.Height, image.Height, box.Width), box.Height};
}
