#include "thumbnail.h"

#include <optional>
#include <string>

#include "frame_grab.h"
#include "preview_bitmap.h"
#include "settings.h"
#include "temporary_folder.h"

namespace {

// Of the bound, what ending an overrunning player, reading the image and the
// clean-up are given; the player (and the imaging component's set-up before it)
// has the rest.
constexpr DWORD kAfterPlayerMs = 750;

}  // namespace

HBITMAP MakeVideoThumbnail(const wchar_t* fileName, int width, int height) {
  const ULONGLONG callDeadline = GetTickCount64() + kThumbnailBoundMs;
  const ULONGLONG playerDeadline = callDeadline - kAfterPlayerMs;
  if (fileName == nullptr || *fileName == L'\0' || width <= 0 || height <= 0) return nullptr;
  PluginSettings settings;
  ReadPluginSettings(SettingsFilePath(), settings);
  // What can be known without a player is answered at once.
  if (!settings.Thumbnails || !IsExistingFile(fileName)) return nullptr;
  const PlayerProgram program = ChoosePlayerProgram(settings);
  if (!IsExistingFile(program.Path)) return nullptr;
  const PreviewDecoder decoder;  // before the player, so that its set-up counts against the player's share
  if (!decoder.Ready()) return nullptr;
  const TemporaryFolder folder;
  if (folder.Path().empty()) return nullptr;
  const std::optional<std::wstring> image = GrabFrame(settings, program, fileName, folder, width, height, playerDeadline);
  if (!image || GetTickCount64() >= callDeadline) return nullptr;
  return decoder.Decode(*image, {width, height});
}
