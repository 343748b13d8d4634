#include "command_line.h"

#include <cwchar>

#include "color_key.h"

namespace {

std::wstring ColorKeyText() {
  wchar_t text[16];
  std::swprintf(text, 16, L"0x%06x", static_cast<unsigned>(ColorKey));
  return text;
}

}  // namespace

std::wstring QuoteIfSpaced(std::wstring_view text) {
  if (text.find(L' ') == std::wstring_view::npos) return std::wstring(text);
  std::wstring quoted;
  quoted.reserve(text.size() + 2);
  quoted += L'"';
  quoted += text;
  quoted += L'"';
  return quoted;
}

void AppendArgument(std::wstring& line, std::wstring_view prefix, std::wstring_view value) {
  std::wstring argument(prefix);
  argument += value;
  line += L' ';
  line += QuoteIfSpaced(argument);
}

std::wstring ViewHandleTextSigned64(std::int64_t handle) { return std::to_wstring(handle); }

std::wstring ViewHandleTextUnsigned32(std::uint32_t handle) { return std::to_wstring(handle); }

std::wstring ViewHandleText(std::uintptr_t handle) {
  if constexpr (sizeof(std::uintptr_t) == 8) {
    return ViewHandleTextSigned64(static_cast<std::int64_t>(handle));
  } else {
    return ViewHandleTextUnsigned32(static_cast<std::uint32_t>(handle));
  }
}

std::wstring ComposePlayerCommandLine(const PlayerLaunch& launch) {
  std::wstring line = QuoteIfSpaced(launch.PlayerPath);
  line += launch.PlayerParams;
  line += L" -quiet -slave -identify";
  line += launch.Embedded ? L" -wid " : L" -keepaspect -wid ";
  line += launch.ViewHandle;
  line += L" -colorkey ";
  line += ColorKeyText();
  line += L' ';
  line += QuoteIfSpaced(launch.FileName);
  return line;
}
