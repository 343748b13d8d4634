#include "vlc_identification.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::string_view kBlockStart = "+----[ ";
constexpr std::string_view kBlockEnd = " ]";
constexpr std::string_view kMetaData = "Meta data";            // the remote control's own words, never translated
constexpr std::string_view kInfoEnd = "end of stream info";
constexpr std::string_view kPrompt = "> ";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A whole number of at most 9 digits; -1 when |text| is not one.
std::int32_t Number(std::string_view text) {
  if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), IsDigit)) return -1;
  std::int32_t value = 0;
  for (const char c : text) value = value * 10 + (c - '0');
  return value;
}

}  // namespace

std::string_view VlcIdentification::Request() { return "info\nget_time\n"; }

void VlcIdentification::OnRead(std::string_view bytes) {
  if (Done()) return;
  lines_.Feed(bytes, "\n", [this](std::string_view line) {
    OnLine(line);
    return !Done();
  });
}

void VlcIdentification::EndBlock() {
  if (inStream_ && blockWidth_ > 0 && blockHeight_ > 0 && width_ == 0) {
    width_ = blockWidth_;
    height_ = blockHeight_;
  }
  inStream_ = false;
  blockWidth_ = blockHeight_ = 0;
}

void VlcIdentification::OnLine(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  // The prompt has no line end of its own: it begins the next answer's first line.
  while (line.starts_with(kPrompt)) line.remove_prefix(kPrompt.size());
  if (line.starts_with(kBlockStart) && line.ends_with(kBlockEnd)) {
    EndBlock();
    const std::string_view name =
        line.substr(kBlockStart.size(), line.size() - kBlockStart.size() - kBlockEnd.size());
    if (name == kInfoEnd) {
      videoless_ = answerListsStreams_ && width_ == 0;
      answerListsStreams_ = false;
    } else if (name != kMetaData) {
      inStream_ = true;
      answerListsStreams_ = streamsSeen_ = true;
    }
    return;
  }
  if (inStream_ && line.starts_with("| ")) {
    const std::size_t colon = line.rfind(": ");
    if (colon == std::string_view::npos) return;
    const std::string_view value = line.substr(colon + 2);
    const std::size_t by = value.find('x');
    const std::int32_t width = by == std::string_view::npos ? -1 : Number(value.substr(0, by));
    const std::int32_t height = by == std::string_view::npos ? -1 : Number(value.substr(by + 1));
    if (width <= 0 || height <= 0) return;
    blockWidth_ = blockWidth_ == 0 ? width : std::min(blockWidth_, width);
    blockHeight_ = blockHeight_ == 0 ? height : std::min(blockHeight_, height);
    return;
  }
  // "get_time"'s answer, the request's last: a bare number; before VLC has
  // opened the file, an empty line (so does "info" then, or nothing at all).
  if (line.empty()) {
    answered_ = true;
  } else if (const std::int32_t seconds = Number(line); seconds >= 0) {
    secondsPlayed_ = seconds;
    answered_ = true;
  }
}

void VlcIdentification::OnEnded() {
  if (Done()) return;  // the answer stands
  ended_ = true;
  if (!streamsSeen_) rejected_ = true;
}

bool VlcIdentification::Done() const {
  return rejected_ || ended_ || (width_ > 0 && height_ > 0) || (videoless_ && secondsPlayed_ >= 1);
}

VideoSize VlcIdentification::Result() const { return rejected_ ? VideoSize{-1, -1} : VideoSize{width_, height_}; }
