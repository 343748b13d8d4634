#include "player_report.h"

std::optional<int> VolumeTenthsOf(std::string_view text) {
  // Digits, then a fraction: rounded to the nearest tenth.
  long long hundredths = 0;
  std::size_t at = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    hundredths = hundredths * 10 + (text[at] - '0');
    if (hundredths > 1000) return std::nullopt;
  }
  if (at == 0) return std::nullopt;
  hundredths *= 100;
  if (at < text.size() && text[at] == '.') {
    ++at;
    int scale = 10;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
      hundredths += (text[at] - '0') * scale;
      scale /= 10;
    }
  }
  if (at != text.size()) return std::nullopt;
  return static_cast<int>((hundredths + 5) / 10);
}
