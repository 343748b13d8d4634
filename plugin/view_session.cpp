#include "view_session.h"

#include "identify_reader.h"
#include "lister_placement.h"
#include "player_process.h"
#include "settings.h"
#include "view_window.h"

namespace {

constexpr int kHostCommandNewParams = 2;  // the Lister's display options changed

}  // namespace

HWND OpenPlayerView(HINSTANCE instance, HWND lister, const wchar_t* fileName) {
  HWND view = CreatePlayerViewWindow(lister, instance);
  // Without a window the player would have nowhere to draw and the view no owner.
  if (view == nullptr) return nullptr;

  PluginSettings settings;
  ReadPluginSettings(SettingsFilePath(), settings);
  const bool embedded = GetParent(lister) != nullptr;  // the host's quick-view panel
  std::optional<PlayerContext> started = StartPlayer(
      {view, embedded, settings.PlayerPath, settings.PlayerParams, fileName != nullptr ? fileName : L""});
  if (!started) {
    DestroyWindow(view);
    return nullptr;
  }

  const VideoSize size = ReadVideoSize(started->OutputPipe, started->Process);
  if (!embedded && size.Width > 0 && size.Height > 0) {
    PlaceListerWindow(lister, settings.ViewSize, size.Width, size.Height);
  }

  started->Looping = false;
  started->Muted = false;
  StoreViewContext(view, new PlayerContext(*started));
  SetFocus(view);
  if (size.Width == -1 && size.Height == -1) {  // the player can't play this file
    ClosePlayerView(view);
    return nullptr;
  }
  return view;
}

void ClosePlayerView(HWND view) {
  PlayerContext* stored = ViewContext(view);
  if (stored == nullptr) return;
  const PlayerContext copy = *stored;
  StopPlayer(copy);
  ReleaseDC(view, GetDC(view));
  DestroyWindow(view);
  ClosePlayerHandles(copy);
  delete stored;
}

void SendHostCommand(HWND view, int command) {
  const PlayerContext* stored = ViewContext(view);
  if (stored == nullptr || command != kHostCommandNewParams) return;
  const PlayerContext copy = *stored;
  SendPlayerCommand(copy, "vo_fullscreen");
}
