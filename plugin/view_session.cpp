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
#endif

// The Lister that holds the view, also while the view is shown full screen.
HWND ListerOfView(HWND view) {
  const PlayerContext* stored = ViewContext(view);
  return stored != nullptr ? ListerOf(view, *stored) : GetParent(view);
}

void DestroyView(HWND view) {
  ReleaseDC(view, GetDC(view));
  DestroyWindow(view);
}

// "quit", the grace, termination; then the view window (when it is still there)
// and the player's handles, in the order the host's close has always had.
void EndPlayer(PlayerContext& context, HWND view) {
  StopPlayer(context);
  ReleaseFullScreen(context);
  if (view != nullptr && IsWindow(view)) DestroyView(view);
  ClosePlayerHandles(context);
}

enum class LoadOutcome {
  Shown,          // the view holds the file's player
  Refused,        // no player could be started, or it can't play the file: the view is left empty
  ViewDestroyed,  // host code destroyed the view inside one of our waits; nothing of the load is left
};

// One file into a view that holds no player: the settings read afresh, the player
// started drawing into the view, its identification read, a free-standing Lister
// placed, the view's record stored and the focus given to the view. The warning
// box, the identification wait, the Lister's move, a rejected player's stop and the
// focus change all let host code run, which may destroy the Lister and this view.
LoadOutcome LoadIntoView(HWND lister, HWND view, const wchar_t* fileName, const DestructionWatch& watch) {
  PluginSettings settings;
  ReadPluginSettings(SettingsFilePath(), settings);
  const bool embedded = GetParent(lister) != nullptr;  // the host's quick-view panel
  // A player that serves a control pipe gets a name that no other view's uses.
  const std::wstring controlPipe = DialectOf(settings.Player).ServesControlPipe ? UniquePipeName() : std::wstring();
  std::optional<PlayerContext> started =
      StartPlayer({view, embedded, settings.PlayerPath, settings.PlayerParams, fileName != nullptr ? fileName : L"",
                   settings.Player, controlPipe});
  if (!started) return watch.ViewDestroyed() ? LoadOutcome::ViewDestroyed : LoadOutcome::Refused;

#if defined(REELPANE_BENCH_BLOCKING_DESIGN)
  const IdentifyOutcome identified{ReadVideoSizeBlocking(started->OutputPipe)};  // MPlayer's alone
#else
  // Made now, while the player starts, so that the load pays little for it afterwards.
  started->Reader = PrepareOutputReader(started->OutputPipe);
  const IdentifyOutcome identified = IdentifyPlayer(*started, controlPipe);
#endif
  if (identified.NoControlPipe) {
    // Nothing can be told to a player without its pipe: it ends before the user hears why.
    EndPlayer(*started, nullptr);
    WarnNoControlPipeOnce(settings.PlayerPath);
    return watch.ViewDestroyed() ? LoadOutcome::ViewDestroyed : LoadOutcome::Refused;
  }
  const VideoSize size = identified.Size;
  if (!watch.ViewDestroyed() && !embedded && size.Width > 0 && size.Height > 0) {
    PlaceListerWindow(lister, settings.ViewSize, size.Width, size.Height);
  }
  const bool rejected = size.Width == -1 && size.Height == -1;  // the player can't play this file
  if (watch.ViewDestroyed() || rejected) {
    // Nobody will close a player the view never held: it ends here.
    EndPlayer(*started, nullptr);
    return watch.ViewDestroyed() ? LoadOutcome::ViewDestroyed : LoadOutcome::Refused;
  }

  started->Looping = false;
  started->Muted = false;
  // From now on nobody needs the player's output, but a full pipe would stop the
  // player; so would a control pipe whose events nobody reads.
  StartOutputReader(started->Reader);
  StartOutputReader(started->ControlReader);
  StoreViewContext(view, new PlayerContext(*started));
  SetFocus(view);
  // Destroyed while the focus moved: its WM_DESTROY has released everything.
  return watch.ViewDestroyed() ? LoadOutcome::ViewDestroyed : LoadOutcome::Shown;
}

}  // namespace

HWND OpenPlayerView(HINSTANCE instance, HWND lister, const wchar_t* fileName) {
  HWND view = CreatePlayerViewWindow(lister, instance);
  // Without a window the player would have nowhere to draw and the view no owner.
  if (view == nullptr) return nullptr;
  DestructionWatch watch(view);
  const LoadOutcome outcome = LoadIntoView(lister, view, fileName, watch);
  if (outcome == LoadOutcome::Refused) DestroyView(view);
  return outcome == LoadOutcome::Shown ? view : nullptr;
}

bool LoadNextIntoView(HWND lister, HWND view, const wchar_t* fileName) {
  // Only a view of ours, in the Lister named, that no other load is filling.
  if (!IsPlayerView(view) || ListerOfView(view) != lister || IsViewBeingLoaded(view)) return false;
  DestructionWatch watch(view);
  // Out of the view before the stop's wait, so that nothing run inside it finds the old player.
  if (const std::unique_ptr<PlayerContext> old = TakeViewContext(view)) {
    // The next file is shown where the view belongs: a view shown full screen goes back first.
    LeaveFullScreen(view, *old);
    EndPlayer(*old, nullptr);
    if (watch.ViewDestroyed()) return false;
  }
  return LoadIntoView(lister, view, fileName, watch) == LoadOutcome::Shown;
}

void ClosePlayerView(HWND view) {
  if (const std::unique_ptr<PlayerContext> taken = TakeViewContext(view)) {
    EndPlayer(*taken, view);
  } else if (IsPlayerView(view)) {
    // No player of its own: left empty by a file it could not show, or its player
    // is being stopped or started by a call we are inside of, which sees the
    // window go and ends that player itself.
    DestroyView(view);
  }
}

void ReleaseDestroyedView(HWND view) {
  const std::unique_ptr<PlayerContext> taken = TakeViewContext(view);
  if (taken != nullptr) EndPlayer(*taken, nullptr);
}

void SendHostCommand(HWND view, int command) {
  PlayerContext* stored = ViewContext(view);
  if (stored == nullptr || command != kHostCommandNewParams) return;
  if (PlayerIsTold(*stored, PlayerAction::FullScreen)) SendViewAction(view, PlayerAction::FullScreen);
  else ToggleFullScreen(view, *stored);
}
