#pragma once
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

// Pure arithmetic of the Lister window placement, written once over the
// floating type: the 64-bit build computes in double, the 32-bit build in x87
// extended precision (long double), as each build always has.

enum class ViewSizeMode { Normal, Double, ScaleHeight, ScaleWidth, Smart };

// The five words, whole and case-sensitive; anything else means "leave it".
std::optional<ViewSizeMode> ParseViewSizeMode(std::wstring_view word);

struct ScreenRect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct WindowPlacement {
  std::int32_t x = 0, y = 0, width = 0, height = 0;
  bool operator==(const WindowPlacement&) const = default;
};

namespace placement_detail {

constexpr std::int64_t kFrameWidth = 8;
constexpr std::int64_t kFrameHeight = 46;

template <typename Real>
constexpr Real SmartLimitFactor();
template <>
constexpr double SmartLimitFactor<double>() { return 0.7; }
template <>
constexpr long double SmartLimitFactor<long double>() { return 0.7L; }

inline double RoundHalfEven(double value) { return std::nearbyint(value); }
inline long double RoundHalfEven(long double value) { return std::nearbyint(value); }

template <typename Real>
bool FitsInt32(Real value) {
  return value >= static_cast<Real>(std::numeric_limits<std::int32_t>::min()) &&
         value <= static_cast<Real>(std::numeric_limits<std::int32_t>::max());
}

// Holds the x87 unit at a 64-bit significand, round-to-nearest and all
// exceptions masked while the long double arithmetic runs: hosts may have set
// double precision or unmasked exceptions, and neither may reach our results.
class ScopedExtendedPrecision {
 public:
  ScopedExtendedPrecision() {
#if defined(__i386__) || defined(__x86_64__)
    __asm__ volatile("fnstcw %0" : "=m"(saved_));
    const std::uint16_t extended = 0x037F;
    __asm__ volatile("fldcw %0" : : "m"(extended));
#endif
  }
  ScopedExtendedPrecision(const ScopedExtendedPrecision&) = delete;
  ScopedExtendedPrecision& operator=(const ScopedExtendedPrecision&) = delete;
  ~ScopedExtendedPrecision() {
#if defined(__i386__) || defined(__x86_64__)
    __asm__ volatile("fclex");
    __asm__ volatile("fldcw %0" : : "m"(saved_));
#endif
  }

 private:
  std::uint16_t saved_ = 0;
};

// Sums and differences are formed in 64 bits so that absurd sizes can't wrap;
// every size that fits 32 bits gives the same result as 32-bit arithmetic.
template <typename Real>
std::optional<WindowPlacement> Compute(ViewSizeMode mode, const ScreenRect& lister, const ScreenRect& desktop,
                                       std::int32_t videoWidth, std::int32_t videoHeight) {
  const std::int64_t W = videoWidth, H = videoHeight;
  const std::int64_t listerWidth = std::int64_t{lister.right} - lister.left;
  const std::int64_t listerHeight = std::int64_t{lister.bottom} - lister.top;
  const std::int64_t acrossDesktop = std::int64_t{desktop.left} + desktop.right;
  const std::int64_t downDesktop = std::int64_t{desktop.top} + desktop.bottom;
  const Real two = 2.0;
  // S: the video height that fits the current width; T: the width that fits the current height.
  const Real S = static_cast<Real>((listerWidth - kFrameWidth) * H) / static_cast<Real>(W);
  const Real T = static_cast<Real>((listerHeight - kFrameHeight) * W) / static_cast<Real>(H);

  Real x = 0, y = 0, width = 0, height = 0;
  switch (mode) {
    case ViewSizeMode::Normal:
      x = static_cast<Real>(acrossDesktop - W - kFrameWidth) / two;
      y = static_cast<Real>(downDesktop - H - kFrameHeight) / two;
      width = static_cast<Real>(W + kFrameWidth);
      height = static_cast<Real>(H + kFrameHeight);
      break;
    case ViewSizeMode::Double:
      x = static_cast<Real>(acrossDesktop - 2 * W - kFrameWidth) / two;
      y = static_cast<Real>(downDesktop - 2 * H - kFrameHeight) / two;
      width = static_cast<Real>(2 * W + kFrameWidth);
      height = static_cast<Real>(2 * H + kFrameHeight);
      break;
    case ViewSizeMode::ScaleHeight:
      x = static_cast<Real>(acrossDesktop - listerWidth) / two;
      y = (static_cast<Real>(downDesktop) - S - static_cast<Real>(kFrameHeight)) / two;
      width = static_cast<Real>(listerWidth);
      height = RoundHalfEven(S) + static_cast<Real>(kFrameHeight);
      break;
    case ViewSizeMode::ScaleWidth:
      x = (static_cast<Real>(acrossDesktop) - T - static_cast<Real>(kFrameWidth)) / two;
      y = static_cast<Real>(downDesktop - listerHeight) / two;
      width = RoundHalfEven(T) + static_cast<Real>(kFrameWidth);
      height = static_cast<Real>(listerHeight);
      break;
    case ViewSizeMode::Smart: {
      width = RoundHalfEven(T) + static_cast<Real>(kFrameWidth);
      height = static_cast<Real>(listerHeight);
      const Real limit = static_cast<Real>(std::int64_t{desktop.right} - desktop.left) * SmartLimitFactor<Real>();
      if (width > limit) {
        width = static_cast<Real>(listerWidth);
        height = RoundHalfEven(S) + static_cast<Real>(kFrameHeight);
      }
      x = (static_cast<Real>(acrossDesktop) - width) / two;
      y = (static_cast<Real>(downDesktop) - height) / two;
      break;
    }
  }
  x = RoundHalfEven(x);
  y = RoundHalfEven(y);
  if (!FitsInt32(x) || !FitsInt32(y) || !FitsInt32(width) || !FitsInt32(height)) return std::nullopt;
  return WindowPlacement{static_cast<std::int32_t>(x), static_cast<std::int32_t>(y),
                         static_cast<std::int32_t>(width), static_cast<std::int32_t>(height)};
}

}  // namespace placement_detail

// Where the Lister window goes, or nothing when the result would not fit a
// window rectangle. Requires videoWidth > 0 and videoHeight > 0.
template <typename Real>
std::optional<WindowPlacement> ComputeListerPlacement(ViewSizeMode mode, const ScreenRect& lister,
                                                      const ScreenRect& desktop, std::int32_t videoWidth,
                                                      std::int32_t videoHeight) {
  if constexpr (sizeof(Real) > sizeof(double)) {
    placement_detail::ScopedExtendedPrecision extended;
    return placement_detail::Compute<Real>(mode, lister, desktop, videoWidth, videoHeight);
  } else {
    return placement_detail::Compute<Real>(mode, lister, desktop, videoWidth, videoHeight);
  }
}

// This build's precision.
#if defined(_WIN64)
using PlacementReal = double;
#else
using PlacementReal = long double;
#endif
