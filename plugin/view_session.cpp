#include "view_session.h"

#include "identify_reader.h"
#include "lister_placement.h"
#include "output_reader.h"
#include "player_process.h"
#include "settings.h"
#include "view_window.h"

namespace {

constexpr int kHostCommandNewParams = 2;

#if defined(REELPANE_BENCH_BLOCKING_DESIGN)
// The bench's yardstick, never shipped: identification by plain blocking reads
// (no bound, no message answered), and nobody reads the output afterwards.
VideoSize ReadVideoSizeBlocking(HANDLE outputPipe) {
  IdentifyParser parser;
  char buffer[IdentifyParser::kReadSize];
  while (parser.WantsMoreOutput()) {
    OVERLAPPED pending{};
    DWORD got = 0;
    if ((ReadFile(outputPipe, buffer, sizeof(buffer), nullptr, &pending) || GetLastError() == ERROR_IO_PENDING) &&
        GetOverlappedResult(outputPipe, &pending, &got, TRUE)) {
      parser.OnRead({buffer, got});
    } else {
      parser.OnReadFailed();
    }
  }
  return parser.Result();
}
#endif  // the Lister's display options changed

// "quit", the grace, termination; then the view window (when it is still there)
// and the player's handles, in the order the host's close has always had.
void EndPlayer(const PlayerContext& context, HWND view) {
  StopPlayer(context);
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
  DestructionWatch watch(view);

  PluginSettings settings;
  ReadPluginSettings(SettingsFilePath(), settings);
  const bool embedded = GetParent(lister) != nullptr;  // the host's quick-view panel
  std::optional<PlayerContext> started = StartPlayer(
      {view, embedded, settings.PlayerPath, settings.PlayerParams, fileName != nullptr ? fileName : L""});
  if (!started) {
    if (!watch.ViewDestroyed()) DestroyWindow(view);
    return nullptr;
  }

#if defined(REELPANE_BENCH_BLOCKING_DESIGN)
  const VideoSize size = ReadVideoSizeBlocking(started->OutputPipe);
#else
  // Made now, while the player starts, so that the open pays little for it afterwards.
  started->Reader = PrepareOutputReader(started->OutputPipe);
  const VideoSize size =
      ReadVideoSize(started->OutputPipe, started->Process, kIdentifyBoundMs, OutputReaderEvent(started->Reader));
#endif
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
  // From now on nobody needs the player's output, but a full pipe would stop the player.
  if (!rejected) StartOutputReader(started->Reader);
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
  if (command == kHostCommandNewParams) SendViewCommand(view, "vo_fullscreen");
}
