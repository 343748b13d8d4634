#pragma once
#include <cstddef>
#include <string_view>

// The length of UTF-16 text in UTF-8, as programs that read their command line
// in UTF-8 count it. Pure.

// The UTF-8 bytes of the character at |at|; |units| is set to its UTF-16 units.
inline size_t Utf8Bytes(std::wstring_view text, size_t at, size_t& units) {
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

inline size_t Utf8Length(std::wstring_view text) {
  size_t bytes = 0;
  for (size_t at = 0, units = 0; at < text.size(); at += units) bytes += Utf8Bytes(text, at, units);
  return bytes;
}
