#pragma once
#include <string>
#include <string_view>

// What happens when the video has played to its end ("At_end").
enum class AtEnd {
  Stop,  // "stop", and any other word: the last frame stays, where the player can keep it
  Loop,  // "loop": from the start again, as H
  Next,  // "next": Lister is asked for the next file
};

// What reelpane.ini says, read afresh for every file opened.
struct PluginSettings {
  std::wstring PlayerPath;    // already made absolute
  bool PlayerPathSet = false; // MPlayer_path (or MPlayer_path_x64) names a program, even one not there
  std::wstring PlayerParams;  // as read: not trimmed, not expanded
  std::wstring ViewSize;
  std::wstring Player;        // as read: which player the program is (player/players.h), or empty
  bool Thumbnails = true;                   // "Thumbnails=0" gives the thumbnail view no frames
  bool RememberVolume = true;               // "Remember_volume=0": every file starts at the player's own level
  bool WheelSeeks = false;                  // "Wheel=seek": the wheel seeks instead of setting the volume
  AtEnd End = AtEnd::Stop;                  // "At_end"
  bool StartPaused = false;                 // "Start_paused=1": the first frame, paused
};

// The "At_end" word, exactly as written.
AtEnd AtEndOf(std::wstring_view word);

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
