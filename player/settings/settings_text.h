#pragma once
#include <optional>
#include <string>
#include <string_view>

// Settings files in UTF-8, which Notepad writes today. Windows' profile functions
// read a file as UTF-16 only after its byte-order mark and as ANSI otherwise, so
// they would garble every letter beyond ASCII (and, after a UTF-8 byte-order mark,
// lose the first section). Such files are read here instead. Pure: no system calls.

// True for the bytes of a UTF-8 settings file: they begin with the UTF-8 byte-order
// mark, or they hold bytes above 0x7F that all form valid UTF-8. Plain ASCII reads
// the same either way and is left to the profile functions.
bool IsUtf8SettingsText(std::string_view bytes);

// The value of |key| in |section| of INI text, by the rules of GetPrivateProfileStringW:
// lines end at a line feed or a carriage return; section and key names are compared
// without regard to ASCII case and without surrounding blanks; only the first section
// of that name is looked in and the first line of that key taken; blanks around the
// value are dropped and one pair of matching quotes around it removed. Nothing when
// the key is missing or has no "=" (the caller's default applies). Not cut to any length.
std::optional<std::wstring> FindIniValue(std::wstring_view text, std::wstring_view section, std::wstring_view key);

// |path| as GetFullPathNameW would take it with |folder| (a full path ending in a
// backslash) as the current directory, without making it one: a relative path or
// a bare name goes under |folder|, a path rooted without a drive ("\\mplayer") on
// |folder|'s drive or share, a drive-relative one ("D:mplayer") under |folder| when
// |folder| is on that drive. An absolute path, and a drive-relative one on another
// drive (which the system takes from that drive's own current folder), come back as
// they are. Pure: the current directory is the whole host's, and other threads use it.
std::wstring AnchorAtFolder(std::wstring_view path, std::wstring_view folder);
