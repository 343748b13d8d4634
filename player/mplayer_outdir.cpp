#include "mplayer_outdir.h"

#include <algorithm>

#include "utf8_length.h"

namespace {

constexpr std::wstring_view kOutdirOption = L"outdir=";

}  // namespace

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
