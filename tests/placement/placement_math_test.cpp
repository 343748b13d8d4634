#include "placement_math.h"

#include <gtest/gtest.h>

#include <array>
#include <type_traits>
#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {

// Double placement exists where the build evaluates double in double; the 32-bit
// build's x87 code would compute it in extended precision, so it places in long double only.
constexpr bool kBuildHasDoublePlacement = __FLT_EVAL_METHOD__ == 0;

template <typename Real>
std::optional<WindowPlacement> Compute(ViewSizeMode mode, const ScreenRect& lister, const ScreenRect& desktop,
                                       std::int32_t width, std::int32_t height) {
  if constexpr (std::is_same_v<Real, double> && !kBuildHasDoublePlacement) {
    ADD_FAILURE() << "this build has no double placement";
    return std::nullopt;
  } else {
    return ComputeListerPlacement<Real>(mode, lister, desktop, width, height);
  }
}

const ScreenRect kFullHd{0, 0, 1920, 1080};
const ScreenRect kLister{100, 50, 1100, 750};  // 1000 by 700; its position enters no formula

template <typename Real>
WindowPlacement Place(const wchar_t* mode, int width, int height, const ScreenRect& desktop = kFullHd) {
  const auto parsed = ParseViewSizeMode(mode);
  EXPECT_TRUE(parsed.has_value());
  const auto placement = Compute<Real>(*parsed, kLister, desktop, width, height);
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

TEST(ListerPlacement, FullHdTableInDoublePrecision) {
  if (!kBuildHasDoublePlacement) GTEST_SKIP() << "the 32-bit build places in extended precision only";
  ExpectTheFullHdTable<double>();
}

TEST(ListerPlacement, FullHdTableInExtendedPrecision) { ExpectTheFullHdTable<long double>(); }

// At 1360 pixels the smart limit is just below 952 in double and exactly 952 in extended precision.
TEST(ListerPlacement, SmartLimitBoundaryDiffersBetweenTheBuilds) {
  const ScreenRect desktop{0, 0, 1360, 768};
  if (kBuildHasDoublePlacement) {
    EXPECT_EQ(Place<double>(L"smart", 472, 327, desktop), (WindowPlacement{180, 18, 1000, 733}));
  }
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

namespace {

// Floating-point modes a host may have set before it calls the plugin.
struct HostFloatModes {
  std::uint16_t x87;  // bit 6 always reads as set
  std::uint32_t sse;
  const char* what;
};

constexpr HostFloatModes kHostFloatModes[] = {
    {0x027F, 0x1F80, "x87 at double precision, as Windows starts programs"},
    {0x0272, 0x1F80, "x87 at double precision, invalid, zero-divide and overflow unmasked"},
    {0x1372, 0x1900, "Delphi's defaults: invalid, zero-divide and overflow unmasked in both units"},
    {0x0B7F, 0x5F80, "both units rounding up"},
    {0x077F, 0x3F80, "both units rounding down"},
    {0x0F7F, 0x7F80, "both units rounding toward zero"},
    {0x0340, 0x0000, "every exception unmasked in both units"},
};

struct TableRow {
  const wchar_t* mode;
  int width, height;
  ScreenRect desktop;
};

// The example rows whose results depend on rounding: halves, the smart limit, negative positions.
constexpr TableRow kRoundingRows[] = {
    {L"normal", 641, 480, kFullHd},       {L"normal", 643, 480, kFullHd},
    {L"smart", 668, 327, kFullHd},        {L"smart", 1920, 800, kFullHd},
    {L"normal", 2000, 1200, kFullHd},     {L"smart", 472, 327, {0, 0, 1360, 768}},
    {L"scale_height", 640, 480, kFullHd}, {L"scale_width", 640, 480, kFullHd},
};

template <typename Real>
std::array<std::optional<WindowPlacement>, std::size(kRoundingRows)> RowsUnder(const HostFloatModes& modes,
                                                                                HostFloatModes& after) {
  std::array<std::optional<WindowPlacement>, std::size(kRoundingRows)> placements;
  std::uint16_t savedX87 = 0;
  __asm__ volatile("fnstcw %0" : "=m"(savedX87));
  __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(modes.x87));
#if defined(__SSE__)
  const std::uint32_t savedSse = _mm_getcsr();
  _mm_setcsr(modes.sse);
#endif
  for (std::size_t i = 0; i < placements.size(); ++i) {
    const TableRow& row = kRoundingRows[i];
    placements[i] = Compute<Real>(*ParseViewSizeMode(row.mode), kLister, row.desktop, row.width, row.height);
  }
  __asm__ volatile("fnstcw %0" : "=m"(after.x87));
#if defined(__SSE__)
  after.sse = _mm_getcsr();
  _mm_setcsr(savedSse);
#else
  after.sse = modes.sse;  // a build without SSE code leaves that unit alone
#endif
  __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(savedX87));
  return placements;
}

template <typename Real>
void ExpectRowsWhateverTheHostSet() {
  for (const HostFloatModes& modes : kHostFloatModes) {
    SCOPED_TRACE(modes.what);
    HostFloatModes after{};
    const auto placements = RowsUnder<Real>(modes, after);
    EXPECT_EQ(after.x87, modes.x87) << "the host's x87 control word is given back";
    EXPECT_EQ(after.sse, modes.sse) << "the host's SSE control and status are given back";
    for (std::size_t i = 0; i < placements.size(); ++i) {
      const TableRow& row = kRoundingRows[i];
      EXPECT_EQ(placements[i], Place<Real>(row.mode, row.width, row.height, row.desktop))
          << testing::PrintToString(std::wstring(row.mode)) << " " << row.width << "x" << row.height;
    }
  }
}

}  // namespace

// Rounding modes, precision and unmasked exceptions of either unit are the
// host's business; the computed rectangle is the same under all of them.
TEST(ListerPlacement, DoublePrecisionHoldsWhateverModesTheHostSet) {
  if (!kBuildHasDoublePlacement) GTEST_SKIP() << "the 32-bit build places in extended precision only";
  ExpectRowsWhateverTheHostSet<double>();
}

TEST(ListerPlacement, ExtendedPrecisionHoldsWhateverModesTheHostSet) {
  ExpectRowsWhateverTheHostSet<long double>();
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
  const auto wide = ComputeListerPlacement<PlacementReal>(ViewSizeMode::ScaleHeight, kLister, kFullHd, 3, 1215752191);
  EXPECT_FALSE(wide.has_value());
  const auto tall = ComputeListerPlacement<PlacementReal>(ViewSizeMode::ScaleWidth, kLister, kFullHd, 1215752191, 100000);
  ASSERT_TRUE(tall.has_value());  // (700 - 46) * 1215752191 / 100000 fits; in 32 bits the product would wrap
  EXPECT_EQ(tall->width, 7951019 + 8);
  EXPECT_FALSE(ComputeListerPlacement<long double>(ViewSizeMode::Double, kLister, kFullHd, 2147483647, 10));
}

// A rectangle that can't be a window's leaves the window where it is; an empty one is still a rectangle.
TEST(ListerPlacement, InvertedRectanglesLeaveTheWindowAlone) {
  const ScreenRect invertedListers[] = {{1100, 50, 100, 750}, {100, 750, 1100, 50}};
  const ScreenRect invertedDesktops[] = {{0, 0, -1, 1080}, {0, 1080, 1920, 0}, {1920, 0, 0, 1080}};
  for (const ScreenRect& lister : invertedListers) {
    if (kBuildHasDoublePlacement) {
      EXPECT_FALSE(Compute<double>(ViewSizeMode::Normal, lister, kFullHd, 640, 480));
    }
    EXPECT_FALSE(ComputeListerPlacement<long double>(ViewSizeMode::Normal, lister, kFullHd, 640, 480));
  }
  for (const ScreenRect& desktop : invertedDesktops) {
    if (kBuildHasDoublePlacement) {
      EXPECT_FALSE(Compute<double>(ViewSizeMode::Smart, kLister, desktop, 640, 480));
    }
    EXPECT_FALSE(ComputeListerPlacement<long double>(ViewSizeMode::Smart, kLister, desktop, 640, 480));
  }
  EXPECT_EQ(ComputeListerPlacement<PlacementReal>(ViewSizeMode::Normal, {100, 50, 100, 50}, kFullHd, 640, 480),
            (WindowPlacement{636, 277, 648, 526}));
}

// The window manager holds 16-bit coordinates: a placement beyond them is not made.
TEST(ListerPlacement, OnlyRectanglesInWindowCoordinatesAreMade) {
  EXPECT_TRUE(FitsWindowCoordinates({-32768, -32768, 65535, 65535}));
  EXPECT_TRUE(FitsWindowCoordinates({-964, 0, 3848, 2206}));  // a 4K video, larger than the desktop
  EXPECT_FALSE(FitsWindowCoordinates({-32769, 0, 100, 100}));
  EXPECT_FALSE(FitsWindowCoordinates({0, -32769, 100, 100}));
  EXPECT_FALSE(FitsWindowCoordinates({32700, 0, 68, 100}));
  EXPECT_FALSE(FitsWindowCoordinates({0, 32700, 100, 68}));
  // A width of 99999999999 keeps its low 32 bits, 1215752191: centred, that is far beyond them.
  const auto absurd = ComputeListerPlacement<PlacementReal>(ViewSizeMode::Normal, kLister, kFullHd, 1215752191, 480);
  ASSERT_TRUE(absurd.has_value());
  EXPECT_FALSE(FitsWindowCoordinates(*absurd));
  EXPECT_TRUE(FitsWindowCoordinates(Place<PlacementReal>(L"normal", 640, 480)));
}
