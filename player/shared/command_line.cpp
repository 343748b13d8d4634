#include "command_line.h"

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

std::wstring PlayerCommandLine(std::wstring_view playerPath, std::wstring_view playerParams) {
  std::wstring line = QuoteIfSpaced(playerPath);
  line += playerParams;
  return line;
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

std::wstring VolumeText(int volumeTenths) {
  std::wstring text = std::to_wstring(volumeTenths / 10);
  if (volumeTenths % 10 != 0) text += L"." + std::to_wstring(volumeTenths % 10);
  return text;
}
