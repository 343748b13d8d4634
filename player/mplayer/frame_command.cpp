#include "frame_command.h"

#include <algorithm>

#include "identify_parser.h"
#include "utf8_length.h"

namespace {

constexpr std::int64_t kShortVideoSeconds = 3;
constexpr std::int64_t kLongestVideoSeconds = 100'000'000;  // past this a length is no length
constexpr std::string_view kLengthMarker = "ID_LENGTH=";

constexpr std::wstring_view kOutdirOption = L"outdir=";

// After the user's parameters: MPlayer ends once its frame is written, however it
// is configured. "-loop 1" plays the file once, whatever "-loop" came before
// ("-loop 0" and even "-loop -1" repeat the one frame for ever); "-noidle" undoes
// "-idle". ("-fixed-vo" alone holds nothing.)
constexpr std::wstring_view kMPlayerEndsAfterItsFrame = L" -noidle -loop 1";

// The player and the user's parameters, as both of MPlayer's command lines begin.
std::wstring Begin(const FrameLaunch& launch) {
  std::wstring line = PlayerCommandLine(launch.PlayerPath, launch.PlayerParams);
  line += kMPlayerEndsAfterItsFrame;
  return line;
}

}  // namespace

std::wstring MPlayerProbeCommandLine(const FrameLaunch& launch) {
  std::wstring line = Begin(launch);
  line += L" -quiet -identify -nosound -vo null -frames 0";
  AppendArgument(line, L"", launch.FileName);
  return line;
}

std::wstring MPlayerFrameCommandLine(const FrameLaunch& launch, std::int32_t seekTenths, const ProbedVideo& video) {
  std::wstring line = Begin(launch);
  // Without slices: a damaged frame handed on in slices crashes MPlayer when it
  // scales the frame (Debian's MPlayer does, on the damaged sample). The scaler
  // averages every pixel into the one it shrinks to (-sws 5, area).
  line += L" -quiet -nosound -noslices -sws 5";
  if (seekTenths > 0) {
    line += L" -ss ";
    line += std::to_wstring(seekTenths / 10);
    if (seekTenths % 10 != 0) {
      line += L'.';
      line += static_cast<wchar_t>(L'0' + seekTenths % 10);
    }
  }
  // After the user's own filters. scale=0:0 scales to the display size, which
  // dsize (with its third value 0: within the box, the display shape kept) makes
  // fit the box; dsize would enlarge a video smaller than the box, so it comes
  // only for one stored larger.
  line += L" -frames 1 -vf-add ";
  if (video.Width > launch.BoxWidth || video.Height > launch.BoxHeight) {
    line += L"dsize=" + std::to_wstring(launch.BoxWidth) + L':' + std::to_wstring(launch.BoxHeight) + L":0,";
  }
  line += L"scale=0:0 -vo png";
  AppendArgument(line, L"", launch.FileName);
  return line;
}

ProbedVideo ReadProbeOutput(std::string_view output) {
  ProbedVideo probed;
  const VideoSize size = ExtractVideoSize(output, {});
  probed.HasVideo = size.Width > 0 && size.Height > 0;
  if (probed.HasVideo) {
    probed.Width = size.Width;
    probed.Height = size.Height;
  }
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

std::optional<MPlayerOutdir> FindMPlayerOutdir(std::wstring_view voArgument) {
  const size_t option = voArgument.find(kOutdirOption);
  if (option == std::wstring_view::npos) return std::nullopt;
  MPlayerOutdir outdir;
  outdir.Offset = option + kOutdirOption.size();
  const std::wstring_view value = voArgument.substr(outdir.Offset);
  const size_t close = value.size() > 1 && value[0] == L'%' ? value.find(L'%', 1) : std::wstring_view::npos;
  if (close == std::wstring_view::npos) {
    outdir.Length = std::min(value.size(), value.find(L':'));  // unquoted: up to the next sub-option
    outdir.Folder = value.substr(0, outdir.Length);
    return outdir;
  }
  size_t bytes = 0;
  for (wchar_t digit : value.substr(1, close - 1)) {
    if (digit < L'0' || digit > L'9') return std::nullopt;
    bytes = bytes * 10 + static_cast<size_t>(digit - L'0');
  }
  size_t end = close + 1;
  for (size_t units = 0; bytes > 0 && end < value.size(); end += units) {
    const size_t character = Utf8Bytes(value, end, units);
    if (character > bytes) return std::nullopt;
    bytes -= character;
  }
  if (bytes > 0) return std::nullopt;
  outdir.Length = end;
  outdir.Folder = value.substr(close + 1, end - close - 1);
  return outdir;
}
