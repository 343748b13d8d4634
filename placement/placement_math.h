#pragma once
#include <cstdint>
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

// Where the Lister window goes, or nothing when either rectangle is inverted or
// the result would not fit a window rectangle. Requires videoWidth > 0 and
// videoHeight > 0. The result does not depend on the floating-point modes the
// caller has set. Provided for long double, and for double where the build
// evaluates double in double (not on the 32-bit x87 build).
template <typename Real>
std::optional<WindowPlacement> ComputeListerPlacement(ViewSizeMode mode, const ScreenRect& lister,
                                                      const ScreenRect& desktop, std::int32_t videoWidth,
                                                      std::int32_t videoHeight);

// Whether the window manager can hold the rectangle: window coordinates are 16-bit
// on Windows and Wine alike, and one beyond them is clamped to the far edge of that
// range, which throws the window off the screen (a player that reports an absurd size).
bool FitsWindowCoordinates(const WindowPlacement& placement);

// This build's precision.
#if defined(_WIN64)
using PlacementReal = double;
#else
using PlacementReal = long double;
#endif
