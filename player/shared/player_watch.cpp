#include "player_watch.h"

#include <string_view>

#include "player.h"
#include "player_report.h"
#include "remembered_sound.h"

namespace {

void OnReport(PlayerWatch& watch, const PlayerReport& report) {
  if (watch.Remember && report.VolumeTenths) RememberVolume(*report.VolumeTenths);
  if (watch.Remember && report.Muted) RememberMuted(*report.Muted);
  if (report.Ended && watch.NextAtEnd && !watch.NextPosted.exchange(true)) {
    // Posted, never sent: the host's thread may be inside our own wait for this reader.
    if (!PostMessageW(watch.Lister, WM_COMMAND, MAKEWPARAM(0, kListerNextFileCommand),
                      reinterpret_cast<LPARAM>(watch.View))) {
      watch.NextPosted = false;
    }
  }
}

void Deliver(void* context, const char* bytes, DWORD size) {
  WatchPlayerOutput(*static_cast<PlayerWatch*>(context), bytes, size);
}

void OnOutputEnded(void* context) {
  auto& watch = *static_cast<PlayerWatch*>(context);
  if (watch.Stopping) return;
  PlayerReport ended;
  ended.Ended = true;
  OnReport(watch, ended);
}

}  // namespace

OutputSink SinkOf(PlayerWatch* watch) {
  if (watch == nullptr || watch->Watched->ReadReport == nullptr) return {};
  return {Deliver, watch, OnOutputEnded};
}

OutputSink EndOf(PlayerWatch* watch) {
  if (watch == nullptr) return {};
  return {nullptr, watch, OnOutputEnded};
}

void WatchPlayerOutput(PlayerWatch& watch, const char* bytes, DWORD size) {
  watch.Lines.Feed(std::string_view(bytes, size), "\r\n", [&watch](std::string_view line) {
    if (!line.empty()) {
      PlayerReport report;
      watch.Watched->ReadReport(line, report);
      OnReport(watch, report);
    }
    return true;
  });
}
