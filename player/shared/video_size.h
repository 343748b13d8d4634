#pragma once
#include <cstdint>

// What a player's identification gives: the video's display size.
struct VideoSize {
  std::int32_t Width = 0;   // 0: not reported; -1 with Height -1: the player rejected the file
  std::int32_t Height = 0;
  bool operator==(const VideoSize&) const = default;
};
