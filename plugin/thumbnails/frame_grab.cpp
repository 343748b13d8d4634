#include "frame_grab.h"

#include "players.h"

std::optional<std::wstring> GrabFrame(const PluginSettings& settings, const PlayerProgram& program,
                                      const std::wstring& fileName,
                                      const TemporaryFolder& folder, int boxWidth, int boxHeight,
                                      ULONGLONG deadlineTick) {
  const Player& player = *program.Player;
  const FrameLaunch launch{program.Path, settings.PlayerParams, fileName, folder.Path(), boxWidth, boxHeight};
  if (!player.WriteFrame(launch, deadlineTick)) {
    return std::nullopt;
  }
  std::wstring image = folder.Path() + L"\\" + std::wstring(kFrameImageName);
  if (GetFileAttributesW(image.c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return image;
}
