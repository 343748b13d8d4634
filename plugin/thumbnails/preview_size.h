#pragma once

// The size of the bitmap the file manager's thumbnail view gets: pure arithmetic.

struct PixelSize {
  int Width = 0;
  int Height = 0;
  bool operator==(const PixelSize&) const = default;
};

// The largest size of |image|'s shape within |box|, rounded to whole pixels and
// at least one each way. An image that fits already keeps its own size: the host
// centres what it gets, and an enlarged frame shows nothing more.
PixelSize FitPreviewSize(PixelSize image, PixelSize box);
