#include "view_session.h"

#include "full_screen.h"
#include "identify_reader.h"
#include "lister_placement.h"
#include "output_reader.h"
#include "player_pipes.h"
#include "player_process.h"
#include "settings.h"
#include "view_window.h"

namespace {

constexpr int kHostCommandNewParams = 2;  // the Lister's display options changed

// "quit", the grace, termination; then the view window (when it is still there)
// and the player's handles, in the order the host's close has always had.
void EndPlayer(PlayerContext& context, HWND view) {
  StopPlayer(context);
  ReleaseFullScreen(context);
  if (view != nullptr && IsWindow(view)) {
    ReleaseDC(view, GetDC(view));
    DestroyWindow(view);
  }
  ClosePlayerHandles(context);
}

}  // namespace

HWND OpenPlayerView(HINSTANCE instance, HWND lister, const wchar_t* fileName) {
  HWND view = CreatePlayerViewWindow(lister, instance);
  // Without a window the player would have nowhere to draw and the view no owner.
  if (view == nullptr) return nullptr;
  // The warning box, the identification wait, the Lister's move and the focus
  // change all let host code run, which may destroy the Lister and this view.
  const DestructionWatch watch(view);

  PluginSettings settings;
  ReadPluginSettings(SettingsFilePath(), settings);
  const bool embedded = GetParent(lister) != nullptr;  // the host's quick-view panel
  // A player that serves a control pipe gets a name that no other view's uses.
  const std::wstring controlPipe = DialectOf(settings.Player).ServesControlPipe ? UniquePipeName() : std::wstring();
  std::optional<PlayerContext> started =
      StartPlayer({view, embedded, settings.PlayerPath, settings.PlayerParams, fileName != nullptr ? fileName : L"",
                   settings.Player, controlPipe});
  if (!started) {
    if (!watch.ViewDestroyed()) DestroyWindow(view);
    return nullptr;
  }

  const IdentifyOutcome identified = IdentifyPlayer(*started, controlPipe);
  if (identified.NoControlPipe) {
    // Nothing can be told to a player without its pipe: it ends before the user hears why.
    EndPlayer(*started, nullptr);
    WarnNoControlPipeOnce(settings.PlayerPath);
    if (!watch.ViewDestroyed()) DestroyWindow(view);
    return nullptr;
  }
  const VideoSize size = identified.Size;
  if (!watch.ViewDestroyed() && !embedded && size.Width > 0 && size.Height > 0) {
    PlaceListerWindow(lister, settings.ViewSize, size.Width, size.Height);
  }
  if (watch.ViewDestroyed()) {
    // Nobody will close a view the host never received: its player ends here.
    EndPlayer(*started, nullptr);
    return nullptr;
  }

  const bool rejected = size.Width == -1 && size.Height == -1;  // the player can't play this file
  started->Looping = false;
  started->Muted = false;
  // From now on nobody needs the player's output, but a full pipe would stop the
  // player; so would a control pipe whose events nobody reads.
  if (!rejected) {
    started->Reader = StartOutputReader(started->OutputPipe);
    if (DialectOf(started->Player).ServesControlPipe) started->ControlReader = StartOutputReader(started->CommandPipe);
  }
  StoreViewContext(view, new PlayerContext(*started));
  SetFocus(view);
  if (rejected) {
    ClosePlayerView(view);
    return nullptr;
  }
  // Destroyed while the focus moved: its WM_DESTROY has released everything.
  return watch.ViewDestroyed() ? nullptr : view;
}

void ClosePlayerView(HWND view) {
  const std::unique_ptr<PlayerContext> taken = TakeViewContext(view);
  if (taken == nullptr) return;
  EndPlayer(*taken, view);
}

void ReleaseDestroyedView(HWND view) {
  const std::unique_ptr<PlayerContext> taken = TakeViewContext(view);
  if (taken != nullptr) EndPlayer(*taken, nullptr);
}

void SendHostCommand(HWND view, int command) {
  PlayerContext* stored = ViewContext(view);
  if (stored == nullptr || command != kHostCommandNewParams) return;
  const PlayerContext copy = *stored;
  if (PlayerIsTold(copy, PlayerAction::FullScreen)) SendPlayerAction(copy, PlayerAction::FullScreen);
  else ToggleFullScreen(view, *stored);
}
