#include "lister_placement.h"

#include "placement_math.h"

void PlaceListerWindow(HWND lister, std::wstring_view viewSize, int videoWidth, int videoHeight) {
  RECT window{}, desktop{};
  const bool haveWindow = GetWindowRect(lister, &window) != FALSE;
  const bool haveDesktop = GetClientRect(GetDesktopWindow(), &desktop) != FALSE;
  const std::optional<ViewSizeMode> mode = ParseViewSizeMode(viewSize);
  // Without both rectangles there is nothing sound to compute from.
  if (!mode || !haveWindow || !haveDesktop) return;

  const std::optional<WindowPlacement> placement = ComputeListerPlacement<PlacementReal>(
      *mode, {window.left, window.top, window.right, window.bottom},
      {desktop.left, desktop.top, desktop.right, desktop.bottom}, videoWidth, videoHeight);
  if (placement && FitsWindowCoordinates(*placement)) {
    MoveWindow(lister, placement->x, placement->y, placement->width, placement->height, TRUE);
  }
}
