#pragma once
#include <string>
#include <string_view>

#include "settings_text.h"

// What reelpane.ini says, read afresh for every file opened.
struct PluginSettings {
  std::wstring PlayerPath;    // already made absolute
  std::wstring PlayerParams;  // as read: not trimmed, not expanded
  std::wstring ViewSize;
  PlayerKind Player = PlayerKind::MPlayer;  // from "Player", else from the program's name
  bool Thumbnails = true;                   // "Thumbnails=0" gives the thumbnail view no frames
};

// The folder holding this plugin file, with its trailing backslash.
std::wstring PluginFolder();
// reelpane.ini in the plugin folder (the same name for both builds).
std::wstring SettingsFilePath();

// The values |settings| holds on entry are the defaults of their keys.
void ReadPluginSettings(const std::wstring& settingsFile, PluginSettings& settings);
std::wstring ReadIniString(const wchar_t* section, const wchar_t* key, const std::wstring& fallback,
                           const std::wstring& settingsFile);
// Expands %VARIABLES% and makes a relative path absolute against the plugin
// folder, never against the host's current directory. Empty in, empty out.
std::wstring ResolvePluginPath(std::wstring_view path);
bool IsExistingFile(const std::wstring& path);

// Pure helpers of the above, exposed for tests.

std::wstring FolderOfFile(std::wstring_view fileName);  // cut after the last '\' or ':'
