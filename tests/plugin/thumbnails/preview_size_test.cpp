#include "preview_size.h"

#include <gtest/gtest.h>

TEST(PreviewSize, TheVideosShapeWithinTheBoxAndNoLarger) {
  EXPECT_EQ(FitPreviewSize({640, 480}, {160, 120}), (PixelSize{160, 120}));
  EXPECT_EQ(FitPreviewSize({640, 360}, {96, 96}), (PixelSize{96, 54}));
  EXPECT_EQ(FitPreviewSize({360, 640}, {96, 96}), (PixelSize{54, 96}));
  EXPECT_EQ(FitPreviewSize({640, 360}, {200, 80}), (PixelSize{142, 80}));  // 142.2
  EXPECT_EQ(FitPreviewSize({853, 480}, {100, 100}), (PixelSize{100, 56}));  // 56.27
  EXPECT_EQ(FitPreviewSize({300, 200}, {100, 100}), (PixelSize{100, 67}));  // 66.67
  EXPECT_EQ(FitPreviewSize({640, 480}, {200, 150}), (PixelSize{200, 150}));
  // A frame that fits already is not enlarged.
  EXPECT_EQ(FitPreviewSize({320, 240}, {400, 400}), (PixelSize{320, 240}));
  EXPECT_EQ(FitPreviewSize({320, 240}, {320, 240}), (PixelSize{320, 240}));
  // Slivers keep a pixel.
  EXPECT_EQ(FitPreviewSize({5000, 10}, {96, 96}), (PixelSize{96, 1}));
  EXPECT_EQ(FitPreviewSize({10, 5000}, {96, 96}), (PixelSize{1, 96}));
  // Nothing to fit, or no box.
  EXPECT_EQ(FitPreviewSize({0, 480}, {96, 96}), (PixelSize{}));
  EXPECT_EQ(FitPreviewSize({640, 480}, {0, 96}), (PixelSize{}));
  EXPECT_EQ(FitPreviewSize({640, 480}, {-1, 96}), (PixelSize{}));
  EXPECT_EQ(FitPreviewSize({16384, 16384}, {2147483647, 1}), (PixelSize{1, 1}));
}
