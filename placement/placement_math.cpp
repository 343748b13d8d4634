#include "placement_math.h"

#include <cmath>
#include <limits>

// The 32-bit build must do this arithmetic on the x87 unit at its full precision,
// and without fast-math, which may turn a division into a product with a reciprocal.
#if defined(__i386__) && (__FLT_EVAL_METHOD__ != 2 || defined(__SSE_MATH__) || defined(__FAST_MATH__))
#error "the 32-bit placement arithmetic needs x87 math (-mfpmath=387) without -ffast-math"
#endif

std::optional<ViewSizeMode> ParseViewSizeMode(std::wstring_view word) {
  if (word == L"normal") return ViewSizeMode::Normal;
  if (word == L"double") return ViewSizeMode::Double;
  if (word == L"scale_height") return ViewSizeMode::ScaleHeight;
  if (word == L"scale_width") return ViewSizeMode::ScaleWidth;
  if (word == L"smart") return ViewSizeMode::Smart;
  return std::nullopt;
}

namespace {

constexpr std::int64_t kFrameWidth = 8;
constexpr std::int64_t kFrameHeight = 46;

template <typename Real>
constexpr Real SmartLimitFactor();
template <>
constexpr double SmartLimitFactor<double>() { return 0.7; }
template <>
constexpr long double SmartLimitFactor<long double>() { return 0.7L; }

struct PlacementInputs {
  ViewSizeMode mode;
  ScreenRect lister;
  ScreenRect desktop;
  std::int32_t videoWidth;
  std::int32_t videoHeight;
};

// The host's floating-point modes, kept while ours are set: hosts may run the
// x87 unit at double precision (as Windows starts 32-bit programs), in another
// rounding mode or with exceptions unmasked, and none of that may reach our results.
struct FloatModes {
  std::uint16_t x87 = 0;
  std::uint32_t sse = 0;
};

// x87 at a 64-bit significand, both units rounding to nearest with every
// exception masked. |inputs| passes through the asm so that the compiler can't
// start the arithmetic on them before the modes are set.
FloatModes SetPlacementFloatModes(PlacementInputs& inputs) {
  FloatModes host;
  const std::uint16_t x87 = 0x037F;
  __asm__ volatile("fnstcw %0\n\tfldcw %2" : "=m"(host.x87), "+m"(inputs) : "m"(x87));
#if defined(__SSE__)
  const std::uint32_t sse = 0x1F80;
  __asm__ volatile("stmxcsr %0\n\tldmxcsr %2" : "=m"(host.sse), "+m"(inputs) : "m"(sse));
#endif
  return host;
}

// |result| passes through the asm so that the arithmetic is done before the
// host's modes return. Our x87 exception flags are cleared first: with the
// host's exceptions unmasked they would trap at its next x87 instruction.
void RestoreHostFloatModes(const FloatModes& host, std::optional<WindowPlacement>& result) {
  __asm__ volatile("fnclex\n\tfldcw %1" : "+m"(result) : "m"(host.x87));
#if defined(__SSE__)
  __asm__ volatile("ldmxcsr %1" : "+m"(result) : "m"(host.sse));
#endif
}

// Nearest, halves to even: the rounding mode set above.
template <typename Real>
Real RoundHalfEven(Real value) {
  return std::rint(value);
}

template <typename Real>
bool FitsInt32(Real value) {
  return value >= static_cast<Real>(std::numeric_limits<std::int32_t>::min()) &&
         value <= static_cast<Real>(std::numeric_limits<std::int32_t>::max());
}

// |value| is whole and fits. Not a cast: for a cast the compiler switches the x87
// rounding mode from a control word it may have saved before ours was set.
template <typename Real>
std::int32_t ToInt32(Real value) {
  return static_cast<std::int32_t>(std::lrint(value));
}

bool IsValidRect(const ScreenRect& rect) { return rect.right >= rect.left && rect.bottom >= rect.top; }

// Sums, differences and the two products are formed in 64 bits so that absurd
// sizes can't wrap; every size that fits 32 bits gives the same result as 32-bit arithmetic.
template <typename Real>
std::optional<WindowPlacement> Compute(const PlacementInputs& in) {
  const std::int64_t W = in.videoWidth, H = in.videoHeight;
  const std::int64_t listerWidth = std::int64_t{in.lister.right} - in.lister.left;
  const std::int64_t listerHeight = std::int64_t{in.lister.bottom} - in.lister.top;
  const std::int64_t acrossDesktop = std::int64_t{in.desktop.left} + in.desktop.right;
  const std::int64_t downDesktop = std::int64_t{in.desktop.top} + in.desktop.bottom;
  const Real two = 2.0;
  // S: the video height that fits the current width; T: the width that fits the current height.
  const Real S = static_cast<Real>((listerWidth - kFrameWidth) * H) / static_cast<Real>(W);
  const Real T = static_cast<Real>((listerHeight - kFrameHeight) * W) / static_cast<Real>(H);

  Real x = 0, y = 0, width = 0, height = 0;
  switch (in.mode) {
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
      const Real limit =
          static_cast<Real>(std::int64_t{in.desktop.right} - in.desktop.left) * SmartLimitFactor<Real>();
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
  return WindowPlacement{ToInt32(x), ToInt32(y), ToInt32(width), ToInt32(height)};
}

}  // namespace

bool FitsWindowCoordinates(const WindowPlacement& placement) {
  const auto fits = [](std::int64_t value) { return value >= -32768 && value <= 32767; };
  return fits(placement.x) && fits(placement.y) && fits(std::int64_t{placement.x} + placement.width) &&
         fits(std::int64_t{placement.y} + placement.height);
}

template <typename Real>
std::optional<WindowPlacement> ComputeListerPlacement(ViewSizeMode mode, const ScreenRect& lister,
                                                      const ScreenRect& desktop, std::int32_t videoWidth,
                                                      std::int32_t videoHeight) {
  if (!IsValidRect(lister) || !IsValidRect(desktop)) return std::nullopt;
  PlacementInputs inputs{mode, lister, desktop, videoWidth, videoHeight};
  const FloatModes host = SetPlacementFloatModes(inputs);
  std::optional<WindowPlacement> result = Compute<Real>(inputs);
  RestoreHostFloatModes(host, result);
  return result;
}

template std::optional<WindowPlacement> ComputeListerPlacement<long double>(ViewSizeMode, const ScreenRect&,
                                                                            const ScreenRect&, std::int32_t,
                                                                            std::int32_t);
#if __FLT_EVAL_METHOD__ == 0
template std::optional<WindowPlacement> ComputeListerPlacement<double>(ViewSizeMode, const ScreenRect&,
                                                                       const ScreenRect&, std::int32_t,
                                                                       std::int32_t);
#endif
