#pragma once
#include <optional>

// The sound level and muting the user last set, for as long as the plugin is
// loaded, whichever view or player set it: learnt from the players' own reports
// (on the background readers' pool threads), read by each start on the host's
// thread, and saved in the host's ini when a view closes.
struct SoundLevel {
  int VolumeTenths = -1;  // tenths of the players' per cent; negative: none known
  bool Muted = false;
};

SoundLevel RememberedSound();
// From a player's report: marks the memory as not saved yet when it changes it.
void RememberVolume(int volumeTenths);
void RememberMuted(bool muted);
// What the host's ini held, at the plugin's start; not to be saved again.
void RestoreRememberedSound(const SoundLevel& level);
// The level once each time it has changed since it was last taken: what a close saves.
std::optional<SoundLevel> TakeUnsavedSound();
// A save that failed: the level is to be saved by a later close.
void MarkSoundUnsaved();
