#include "thumbnail.h"

#include <optional>
#include <string>

#include "frame_grab.h"
#include "preview_bitmap.h"
#include "settings.h"
#include "temporary_folder.h"

namespace {

// Of the bound, what ending an overrunning player, reading the image and the
// clean-up are given; the player has the rest.
constexpr DWORD kAfterPlayerMs = 750;

}  // namespace

HBITMAP MakeVideoThumbnail(const wchar_t* fileName, int width, int height) {
  const ULONGLONG playerDeadline = GetTickCount64() + kThumbnailBoundMs - kAfterPlayerMs;
  if (fileName == nullptr || *fileName == L'\0' || width <= 0 || height <= 0) return nullptr;
  PluginSettings settings;
  ReadPluginSettings(SettingsFilePath(), settings);
  // What can be known without a player is answered at once.
  if (!settings.Thumbnails || !IsExistingFile(settings.PlayerPath) || !IsExistingFile(fileName)) return nullptr;
  const TemporaryFolder folder;
  if (folder.Path().empty()) return nullptr;
  const std::optional<std::wstring> image = GrabFrame(settings, fileName, folder, playerDeadline);
  if (!image) return nullptr;
  return DecodePreviewBitmap(*image, {width, height});
}
