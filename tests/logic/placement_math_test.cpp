#include "placement_math.h"

#include <gtest/gtest.h>

namespace {

const ScreenRect kFullHd{0, 0, 1920, 1080};
const ScreenRect kLister{100, 50, 1100, 750};  // 1000 by 700; its position enters no formula

template <typename Real>
WindowPlacement Place(const wchar_t* mode, int width, int height, const ScreenRect& desktop = kFullHd) {
  const auto parsed = ParseViewSizeMode(mode);
  EXPECT_TRUE(parsed.has_value());
  const auto placement = ComputeListerPlacement<Real>(*parsed, kLister, desktop, width, height);
  EXPECT_TRUE(placement.has_value());
  return placement.value_or(WindowPlacement{});
}

template <typename Real>
void ExpectTheFullHdTable() {
  EXPECT_EQ(Place<Real>(L"normal", 640, 480), (WindowPlacement{636, 277, 648, 526}));
  EXPECT_EQ(Place<Real>(L"normal", 641, 480), (WindowPlacement{636, 277, 649, 526}));  // 635.5 to 636
  EXPECT_EQ(Place<Real>(L"normal", 643, 480), (WindowPlacement{634, 277, 651, 526}));  // 634.5 to 634
  EXPECT_EQ(Place<Real>(L"double", 640, 360), (WindowPlacement{316, 157, 1288, 766}));
  EXPECT_EQ(Place<Real>(L"scale_height", 640, 480), (WindowPlacement{460, 145, 1000, 790}));
  EXPECT_EQ(Place<Real>(L"scale_width", 640, 480), (WindowPlacement{520, 190, 880, 700}));
  EXPECT_EQ(Place<Real>(L"smart", 640, 480), (WindowPlacement{520, 190, 880, 700}));
  EXPECT_EQ(Place<Real>(L"smart", 668, 327), (WindowPlacement{288, 190, 1344, 700}));  // w equals the limit
  EXPECT_EQ(Place<Real>(L"smart", 1920, 800), (WindowPlacement{460, 310, 1000, 459}));  // y from 310.5
  EXPECT_EQ(Place<Real>(L"normal", 2000, 1200), (WindowPlacement{-44, -83, 2008, 1246}));
}

}  // namespace

TEST(ListerPlacement, FullHdTableInDoublePrecision) { ExpectTheFullHdTable<double>(); }

TEST(ListerPlacement, FullHdTableInExtendedPrecision) { ExpectTheFullHdTable<long double>(); }

// At 1360 pixels the smart limit is just below 952 in double and exactly 952 in extended precision.
TEST(ListerPlacement, SmartLimitBoundaryDiffersBetweenTheBuilds) {
  const ScreenRect desktop{0, 0, 1360, 768};
  EXPECT_EQ(Place<double>(L"smart", 472, 327, desktop), (WindowPlacement{180, 18, 1000, 733}));
  EXPECT_EQ(Place<long double>(L"smart", 472, 327, desktop), (WindowPlacement{204, 34, 952, 700}));
}

// The host may have set the x87 unit to double precision (as Windows does by
// default) or unmasked its exceptions; the extended result must not change.
TEST(ListerPlacement, ExtendedPrecisionHoldsWhateverTheHostSetTheFpuTo) {
  std::uint16_t saved = 0;
  __asm__ volatile("fnstcw %0" : "=m"(saved));
  const std::uint16_t doublePrecisionUnmasked = 0x0272;  // bit 6 always reads as set
  __asm__ volatile("fldcw %0" : : "m"(doublePrecisionUnmasked));
  const auto placement =
      ComputeListerPlacement<long double>(ViewSizeMode::Smart, kLister, {0, 0, 1360, 768}, 472, 327);
  std::uint16_t after = 0;
  __asm__ volatile("fnstcw %0" : "=m"(after));
  __asm__ volatile("fldcw %0" : : "m"(saved));
  EXPECT_EQ(after, doublePrecisionUnmasked) << "the host's control word is given back";
  EXPECT_EQ(placement, (WindowPlacement{204, 34, 952, 700}));
}

TEST(ListerPlacement, ModeWordsAreExactAndCaseSensitive) {
  EXPECT_EQ(ParseViewSizeMode(L"normal"), ViewSizeMode::Normal);
  EXPECT_EQ(ParseViewSizeMode(L"double"), ViewSizeMode::Double);
  EXPECT_EQ(ParseViewSizeMode(L"scale_height"), ViewSizeMode::ScaleHeight);
  EXPECT_EQ(ParseViewSizeMode(L"scale_width"), ViewSizeMode::ScaleWidth);
  EXPECT_EQ(ParseViewSizeMode(L"smart"), ViewSizeMode::Smart);
  for (const wchar_t* other : {L"Normal", L"NORMAL", L"", L"normal ", L" smart", L"fit", L"smart_"}) {
    EXPECT_FALSE(ParseViewSizeMode(other).has_value()) << "word: " << testing::PrintToString(std::wstring(other));
  }
}

// Products that would wrap in 32 bits are formed in 64; results that can't be a
// window rectangle leave the window alone.
TEST(ListerPlacement, AbsurdSizesNeitherWrapNorMove) {
  const auto wide = ComputeListerPlacement<double>(ViewSizeMode::ScaleHeight, kLister, kFullHd, 3, 1215752191);
  EXPECT_FALSE(wide.has_value());
  const auto tall = ComputeListerPlacement<double>(ViewSizeMode::ScaleWidth, kLister, kFullHd, 1215752191, 100000);
  ASSERT_TRUE(tall.has_value());  // (700 - 46) * 1215752191 / 100000 fits; in 32 bits the product would wrap
  EXPECT_EQ(tall->width, 7951019 + 8);
  EXPECT_FALSE(ComputeListerPlacement<long double>(ViewSizeMode::Double, kLister, kFullHd, 2147483647, 10));
}
