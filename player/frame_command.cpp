#include "frame_command.h"

#include <algorithm>

#include "command_line.h"
#include "identify_parser.h"
#include "utf8_length.h"

namespace {

constexpr std::int64_t kShortVideoSeconds = 3;
constexpr std::int64_t kLongestVideoSeconds = 100'000'000;  // past this a length is no length
constexpr std::string_view kLengthMarker = "ID_LENGTH=";

constexpr size_t kMPlayerImagePathBytes = 100;  // MPlayer's buffer, its terminating NUL included

// The player and the user's parameters, as every command line of ours begins.
std::wstring Begin(const FrameLaunch& launch) {
  std::wstring line = QuoteIfSpaced(launch.PlayerPath);
  line += launch.PlayerParams;
  return line;
}

}  // namespace

std::wstring QuoteMPlayerSubOption(std::wstring_view value) {
  std::wstring quoted = L"%";
  quoted += std::to_wstring(Utf8Length(value));
  quoted += L'%';
  quoted += value;
  return quoted;
}

bool MPlayerCanWriteInto(std::wstring_view folder) {
  const bool ascii = std::all_of(folder.begin(), folder.end(), [](wchar_t c) { return c < 0x80; });
  return ascii && folder.size() + 1 + kFrameImageName.size() < kMPlayerImagePathBytes;  // "FOLDER/NAME" and a NUL
}

std::wstring MPlayerProbeCommandLine(const FrameLaunch& launch) {
  std::wstring line = Begin(launch);
  line += L" -quiet -identify -nosound -vo null -frames 0";
  AppendArgument(line, L"", launch.FileName);
  return line;
}

std::wstring MPlayerFrameCommandLine(const FrameLaunch& launch, std::int32_t seekTenths) {
  std::wstring line = Begin(launch);
  line += L" -quiet -nosound";
  if (seekTenths > 0) {
    line += L" -ss ";
    line += std::to_wstring(seekTenths / 10);
    if (seekTenths % 10 != 0) {
      line += L'.';
      line += static_cast<wchar_t>(L'0' + seekTenths % 10);
    }
  }
  // scale=0:0 scales to the display size; added after the user's own filters.
  line += L" -frames 1 -vf-add scale=0:0 -vo";
  AppendArgument(line, L"png:outdir=", QuoteMPlayerSubOption(launch.ImageFolder));
  AppendArgument(line, L"", launch.FileName);
  return line;
}

ProbedVideo ReadProbeOutput(std::string_view output) {
  ProbedVideo probed;
  const VideoSize size = ExtractVideoSize(output, {});
  probed.HasVideo = size.Width > 0 && size.Height > 0;
  const size_t length = output.find(kLengthMarker);
  if (length != std::string_view::npos) {
    probed.LengthSeconds = ParseIdentifyNumber(output.substr(length + kLengthMarker.size()));
  }
  if (probed.LengthSeconds < 0 || probed.LengthSeconds > kLongestVideoSeconds) probed.LengthSeconds = 0;
  return probed;
}

std::int32_t FrameSeekTenths(std::int64_t lengthSeconds) {
  if (lengthSeconds < kShortVideoSeconds) return 0;
  // A tenth of the length, counted in tenths of a second, is the length in seconds.
  return static_cast<std::int32_t>(std::min(lengthSeconds, kLongestVideoSeconds));
}
