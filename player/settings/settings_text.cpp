#include "settings_text.h"

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view bytes) {
  for (size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead < 0x80) length = 1;
    else if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (bytes.size() - i < length) return false;
    if (length > 1) {
      const auto second = static_cast<unsigned char>(bytes[i + 1]);
      if (second < low || second > high) return false;
      for (size_t k = 2; k < length; ++k) {
        if (!IsContinuation(static_cast<unsigned char>(bytes[i + k]))) return false;
      }
    }
    i += length;
  }
  return true;
}

// What the profile functions take for blanks: ASCII white space and the old end-of-file mark.
bool IsProfileSpace(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r') || c == 0x1A; }

std::wstring_view Trim(std::wstring_view text) {
  while (!text.empty() && IsProfileSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsProfileSpace(text.back())) text.remove_suffix(1);
  return text;
}

wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool SameName(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::wstring WithoutQuotes(std::wstring_view value) {
  if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::wstring(value);
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool HasDrive(std::wstring_view path) {
  if (path.size() < 2 || path[1] != L':') return false;
  const wchar_t letter = AsciiLower(path[0]);
  return letter >= L'a' && letter <= L'z';
}

// Where a rooted path starts on |folder|: "C:", "\\server\share", "\\?\C:" or "\\?\UNC\server\share".
std::wstring_view RootOf(std::wstring_view folder) {
  size_t skip = 0;
  if (folder.starts_with(L"\\\\?\\")) {
    skip = 4;
    if (HasDrive(folder.substr(skip))) return folder.substr(0, skip + 2);
    if (folder.substr(skip).starts_with(L"UNC\\")) skip += 4;
  } else if (HasDrive(folder)) {
    return folder.substr(0, 2);
  } else if (folder.size() >= 2 && IsSeparator(folder[0]) && IsSeparator(folder[1])) {
    skip = 2;
  }
  // A share's root holds its server and share names.
  size_t end = skip;
  for (int names = 0; names < 2 && end < folder.size(); ++names) {
    while (end < folder.size() && !IsSeparator(folder[end])) ++end;
    if (names == 0 && end < folder.size()) ++end;
  }
  return folder.substr(0, end);
}

}  // namespace

std::wstring AnchorAtFolder(std::wstring_view path, std::wstring_view folder) {
  const bool rooted = !path.empty() && IsSeparator(path[0]);
  if (rooted && path.size() >= 2 && IsSeparator(path[1])) return std::wstring(path);  // a share or a device
  if (rooted) return std::wstring(RootOf(folder)) + std::wstring(path);
  if (!HasDrive(path)) return std::wstring(folder) + std::wstring(path);
  if (path.size() > 2 && IsSeparator(path[2])) return std::wstring(path);
  const std::wstring_view folderRoot = RootOf(folder);
  const bool sameDrive = folderRoot.size() >= 2 && folderRoot.back() == L':' &&
                         AsciiLower(folderRoot[folderRoot.size() - 2]) == AsciiLower(path[0]);
  return sameDrive ? std::wstring(folder) + std::wstring(path.substr(2)) : std::wstring(path);
}

bool IsUtf8SettingsText(std::string_view bytes) {
  if (bytes.starts_with(kUtf8Mark)) return true;
  bool beyondAscii = false;
  for (char byte : bytes) beyondAscii |= static_cast<unsigned char>(byte) >= 0x80;
  return beyondAscii && IsValidUtf8(bytes);
}

std::optional<std::wstring> FindIniValue(std::wstring_view text, std::wstring_view section, std::wstring_view key) {
  section = Trim(section);
  key = Trim(key);
  bool inSection = false;
  while (!text.empty()) {
    const size_t end = text.find_first_of(L"\r\n");  // a lone carriage return ends a line too
    const std::wstring_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::wstring_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;
    // A header without its closing bracket is read as a key line, as the profile functions do.
    const size_t close = line.front() == L'[' ? line.rfind(L']') : std::wstring_view::npos;
    if (close != std::wstring_view::npos) {
      if (inSection) return std::nullopt;  // only the first section of that name counts
      inSection = SameName(Trim(line.substr(1, close - 1)), section);
      continue;
    }
    if (!inSection) continue;
    const size_t equals = line.find(L'=');
    if (!SameName(Trim(line.substr(0, equals)), key)) continue;
    if (equals == std::wstring_view::npos) return std::nullopt;
    return WithoutQuotes(Trim(line.substr(equals + 1)));
  }
  return std::nullopt;
}
