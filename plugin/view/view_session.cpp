#include "view_session.h"

#include "full_screen.h"
#include "lister_placement.h"
#include "output_reader.h"
#include "player_process.h"
#include "player_watch.h"
#include "players.h"
#include "remembered_sound.h"
#include "settings.h"
#include "view_identification.h"
#include "view_input.h"
#include "view_window.h"

namespace {

constexpr int kHostCommandNewParams = 2;  // the Lister's display options changed


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

// The player a load has started, ended when this goes unless the view took it:
// host code, a refusal or an exception (no memory) inside the load must not
// leave it running.
class LoadedPlayer {
 public:
  explicit LoadedPlayer(const PlayerContext& context) : context_(context) {}
  LoadedPlayer(const LoadedPlayer&) = delete;
  LoadedPlayer& operator=(const LoadedPlayer&) = delete;
  ~LoadedPlayer() { End(); }

  PlayerContext* operator->() { return &context_; }
  PlayerContext& Get() { return context_; }
  // Stops the player as a close does, at once.
  void End() {
    if (owned_) EndPlayer(context_, nullptr);
    owned_ = false;
  }
  // The view's record holds the player from now on.
  void HandOver() { owned_ = false; }

 private:
  PlayerContext context_;
  bool owned_ = true;
};

// How the settings and the remembered sound have the player start.
PlayerStartOptions StartOptionsOf(const PluginSettings& settings) {
  PlayerStartOptions options;
  if (settings.RememberVolume) {
    const SoundLevel sound = RememberedSound();
    options.VolumeTenths = sound.VolumeTenths;
    options.Muted = sound.Muted;
  }
  options.End = settings.End;
  options.Paused = settings.StartPaused;
  return options;
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
  const PlayerProgram program = ChoosePlayerProgram(settings);
  const Player& player = *program.Player;
  const bool embedded = GetParent(lister) != nullptr;  // the host's quick-view panel
  // A player that serves a command channel gets an address that no other view's uses.
  const std::wstring channel = NewChannelAddress(player);
  const PlayerStartOptions options = StartOptionsOf(settings);
  const std::optional<PlayerContext> launched =
      StartPlayer({view, embedded, program.Path, settings.PlayerParams, fileName != nullptr ? fileName : L"",
                   &player, channel, program.LookedFor, options});
  if (!launched) return watch.ViewDestroyed() ? LoadOutcome::ViewDestroyed : LoadOutcome::Refused;
  LoadedPlayer started(*launched);
  auto* playerWatch = new PlayerWatch;
  playerWatch->Watched = &player;
  playerWatch->Lister = lister;
  playerWatch->View = view;
  playerWatch->Remember = settings.RememberVolume;
  playerWatch->NextAtEnd = settings.End == AtEnd::Next;
  started->Watch = playerWatch;

  const IdentifyOutcome identified = IdentifyViewPlayer(started.Get(), channel);
  if (identified.End != IdentifyEnd::Identified) {
    // Nothing can be told to a player without its channel: it ends before the user hears why.
    started.End();
    WarnNoChannelOnce(player, program.Path);
    return watch.ViewDestroyed() ? LoadOutcome::ViewDestroyed : LoadOutcome::Refused;
  }
  const VideoSize size = identified.Size;
  if (!watch.ViewDestroyed() && !embedded && size.Width > 0 && size.Height > 0) {
    PlaceListerWindow(lister, settings.ViewSize, size.Width, size.Height);
  }
  const bool rejected = size.Width == -1 && size.Height == -1;  // the player can't play this file
  if (watch.ViewDestroyed() || rejected) {
    // Nobody will close a player the view never held: it ends here.
    started.End();
    return watch.ViewDestroyed() ? LoadOutcome::ViewDestroyed : LoadOutcome::Refused;
  }

  SendStartCommands(started.Get(), options);
  started->Looping = options.End == AtEnd::Loop;
  started->Muted = options.Muted;
  started->WheelSeeks = settings.WheelSeeks;
  auto* record = new PlayerContext(started.Get());
  started.HandOver();
  // From now on nobody needs the player's output, but a full pipe would stop the
  // player; so would a control pipe whose events nobody reads.
  StartOutputReader(record->Reader);
  StartOutputReader(record->ControlReader);
  StoreViewContext(view, record);
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
  LoadOutcome outcome = LoadOutcome::Refused;
  try {
    outcome = LoadIntoView(lister, view, fileName, watch);
  } catch (...) {
    // The load ended its player on the way out; the window goes too.
    if (!watch.ViewDestroyed()) DestroyView(view);
    throw;
  }
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
  if (command == kHostCommandNewParams) ToggleViewFullScreen(view);
}

void ToggleViewFullScreen(HWND view) {
  PlayerContext* stored = ViewContext(view);
  if (stored == nullptr) return;
  if (PlayerIsTold(*stored, PlayerAction::FullScreen)) SendViewAction(view, PlayerAction::FullScreen);
  else ToggleFullScreen(view, *stored);
}
