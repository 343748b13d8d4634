#include "frame_command.h"

#include <algorithm>

#include "command_line.h"
#include "identify_parser.h"

namespace {

constexpr std::int64_t kShortVideoSeconds = 3;
constexpr std::int64_t kLongestVideoSeconds = 100'000'000;  // past this a length is no length
constexpr std::string_view kLengthMarker = "ID_LENGTH=";

constexpr std::wstring_view kOutdirOption = L"outdir=";
constexpr size_t kMPlayerImagePathBytes = 100;  // MPlayer's buffer, its terminating NUL included

// The UTF-8 bytes of the character at |at|; |units| is set to its UTF-16 units.
size_t Utf8Bytes(std::wstring_view text, size_t at, size_t& units) {
  const wchar_t unit = text[at];
  units = 1;
  if (unit < 0x80) return 1;
  if (unit < 0x800) return 2;
  if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < text.size() && text[at + 1] >= 0xDC00 && text[at + 1] <= 0xDFFF) {
    units = 2;
    return 4;
  }
  return 3;
}

size_t Utf8Length(std::wstring_view text) {
  size_t bytes = 0;
  for (size_t at = 0, units = 0; at < text.size(); at += units) bytes += Utf8Bytes(text, at, units);
  return bytes;
}

// The player and the user's parameters, as every command line of ours begins.
std::wstring Begin(const FrameLaunch& launch) {
  std::wstring line = QuoteIfSpaced(launch.PlayerPath);
  line += launch.PlayerParams;
  return line;
}

// One option whose value is a path, as a single argument even with blanks in it.
void AppendArgument(std::wstring& line, std::wstring_view prefix, std::wstring_view value) {
  std::wstring argument(prefix);
  argument += value;
  line += L' ';
  line += QuoteIfSpaced(argument);
}

}  // namespace

std::wstring QuoteMPlayerSubOption(std::wstring_view value) {
  std::wstring quoted = L"%";
  quoted += std::to_wstring(Utf8Length(value));
  quoted += L'%';
  quoted += value;
  return quoted;
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

std::wstring MpvFrameCommandLine(const FrameLaunch& launch) {
  // Without the user's configuration: a "keep-open" or "pause" there would hold
  // the player after its frame until the bound.
  std::wstring line = Begin(launch);
  line += L" --no-config --no-terminal --audio=no --ao=null --sid=no --start=10% --frames=1"
          L" --vo=image --vo-image-format=png --vo-image-png-compression=0";
  AppendArgument(line, L"--vo-image-outdir=", launch.ImageFolder);
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
