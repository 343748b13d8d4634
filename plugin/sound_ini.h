#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "remembered_sound.h"

// The sound level remembered across restarts of the file manager: a section of
// our own, [reelpane], in the ini file the host names for its plugins'
// settings (ListSetDefaultParams), with the keys Volume (the players' per
// cent, "37" or "37.5") and Muted (0 or 1).

// The ini file named in the host's default-parameters record, in the ANSI code
// page; empty for a record too short to hold one, or none.
std::wstring HostIniName(const void* defaultParams);

// Reads the section into the module's memory, if it holds a level.
void LoadRememberedSound(const std::wstring& iniFile);

// Writes the level into the section when it has changed since the last save. A
// copy of the file is written and then put in its place in one step, so that a
// crash in the middle leaves the file whole, its other sections untouched. A
// save that fails is tried again at the next close.
void SaveRememberedSound(const std::wstring& iniFile);

// Pure pieces, for tests: the values as written, and read back.
std::wstring VolumeValueText(int volumeTenths);
std::optional<SoundLevel> SoundLevelOf(std::wstring_view volume, std::wstring_view muted);
