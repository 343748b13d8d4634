#include "identify_parser.h"

#include <algorithm>

namespace {

constexpr std::string_view kFileMarker = "ID_FILENAME";
constexpr std::string_view kExitMarker = "ID_EXIT=EOF";
constexpr std::string_view kLengthMarker = "ID_LENGTH";
constexpr std::string_view kWidthMarker = "ID_VIDEO_WIDTH";
constexpr std::string_view kHeightMarker = "ID_VIDEO_HEIGHT";

bool Contains(std::string_view text, std::string_view marker) {
  return text.find(marker) != std::string_view::npos;
}

int DigitValue(char c, unsigned base) {
  int value = -1;
  if (c >= '0' && c <= '9') value = c - '0';
  else if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
  return value >= 0 && static_cast<unsigned>(value) < base ? value : -1;
}

// Looks for "MARKER=" and returns the line's value with its line end, the text
// after that "=" (where the next search continues), or nothing at all.
struct ValueLine {
  bool Found = false;
  std::string_view Value;
  std::string_view Rest;
};

ValueLine FindValueLine(std::string_view text, std::string_view marker) {
  const size_t at = text.find(marker);
  if (at == std::string_view::npos) return {};
  const size_t valueStart = std::min(text.size(), at + marker.size() + 1);  // skips the "="
  const std::string_view rest = text.substr(valueStart);
  const size_t lineFeed = rest.find('\n');
  const std::string_view value = lineFeed == std::string_view::npos ? std::string_view() : rest.substr(0, lineFeed + 1);
  return {true, value, rest};
}

std::int32_t LowBits(std::int64_t value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}

}  // namespace

std::int64_t ParseIdentifyNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  unsigned base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  std::uint64_t value = 0;
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i], base);
    if (digit < 0) break;
    value = value * base + static_cast<unsigned>(digit);
  }
  return static_cast<std::int64_t>(negative ? 0 - value : value);
}

VideoSize ExtractVideoSize(std::string_view text, VideoSize start) {
  VideoSize size = start;
  const ValueLine width = FindValueLine(text, kWidthMarker);
  if (width.Found) {
    size.Width = LowBits(ParseIdentifyNumber(width.Value));
    text = width.Rest;  // a height line written before the width line is not seen
  }
  const ValueLine height = FindValueLine(text, kHeightMarker);
  if (height.Found) size.Height = LowBits(ParseIdentifyNumber(height.Value));
  return size;
}

void IdentifyParser::OnRead(std::string_view bytes) {
  if (stage_ == Stage::Done) return;
  // A zero byte ends the chunk: what follows it in this read is dropped.
  const std::string_view chunk = bytes.substr(0, bytes.find('\0'));
  text_.append(chunk.substr(0, kTextCap - std::min(kTextCap, text_.size())));

  if (stage_ == Stage::AwaitingFileLine) {
    if (Contains(chunk, kFileMarker)) EndFirstStage(Contains(chunk, kLengthMarker));
    else if (bytes.empty()) EndFirstStage(false);
  } else if (Contains(chunk, kLengthMarker) || bytes.empty()) {
    stage_ = Stage::Done;
  }
}

void IdentifyParser::OnReadFailed() {
  if (stage_ == Stage::AwaitingFileLine) EndFirstStage(false);
  else stage_ = Stage::Done;
}

void IdentifyParser::OnBoundReached() {
  if (stage_ == Stage::AwaitingFileLine) EndFirstStage(false);
  stage_ = Stage::Done;
}

void IdentifyParser::EndFirstStage(bool lengthLineAlreadyRead) {
  exitLineSeen_ = Contains(text_, kExitMarker);
  // The player often writes its file and length lines in one burst: waiting for
  // another length line then would hold the host until the bound.
  stage_ = lengthLineAlreadyRead ? Stage::Done : Stage::AwaitingLengthLine;
}

VideoSize IdentifyParser::Result() const {
  return ExtractVideoSize(text_, exitLineSeen_ ? VideoSize{-1, -1} : VideoSize{0, 0});
}
