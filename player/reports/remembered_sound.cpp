#include "remembered_sound.h"

#include <atomic>

namespace {

std::atomic<int> Volume{-1};
std::atomic<bool> Muted{false};
std::atomic<bool> Unsaved{false};

}  // namespace

SoundLevel RememberedSound() { return {Volume.load(), Muted.load()}; }

void RememberVolume(int volumeTenths) {
  if (Volume.exchange(volumeTenths) != volumeTenths) Unsaved = true;
}

void RememberMuted(bool muted) {
  if (Muted.exchange(muted) != muted) Unsaved = true;
}

void RestoreRememberedSound(const SoundLevel& level) {
  Volume = level.VolumeTenths;
  Muted = level.Muted;
}

std::optional<SoundLevel> TakeUnsavedSound() {
  if (!Unsaved.exchange(false)) return std::nullopt;
  return RememberedSound();
}

void MarkSoundUnsaved() { Unsaved = true; }
