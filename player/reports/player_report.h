#pragma once
#include <optional>
#include <string_view>

// What a player reports while it plays, read from one line of what it writes
// after its identification (its output, or its command channel): its sound
// level when asked or changed, and the end of the video.
struct PlayerReport {
  std::optional<int> VolumeTenths;  // tenths of its per cent
  std::optional<bool> Muted;
  bool Ended = false;  // the video has played to its end
};

// A level as a player writes it ("37.000000", "37.5"), in tenths; nothing for
// anything else, a negative one or one beyond 1000 %.
std::optional<int> VolumeTenthsOf(std::string_view text);
