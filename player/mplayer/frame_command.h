#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "command_line.h"

// Pure composition of the command lines that have MPlayer write one frame of a
// video as an image, for the file manager's thumbnails; no system calls.
//
// The user's MPlayer_params come first, as for viewing; the plugin's own options
// follow and win: they end every option that would keep the player running
// after its frame (idling, looping, pausing, keeping the file open), and they ask
// the player itself for a frame that fits the thumbnail's box, so that a frame of
// a huge video costs the host no more than one of a small video.

// MPlayer first says what the file holds and how long it lasts; no frame is written.
std::wstring MPlayerProbeCommandLine(const FrameLaunch& launch);

struct ProbedVideo {
  bool HasVideo = false;           // a picture of some size: not audio alone, not unplayable
  std::int32_t Width = 0;          // as stored, before any pixel shape
  std::int32_t Height = 0;
  std::int64_t LengthSeconds = 0;  // whole seconds; 0 when unknown
};

// Then it writes one frame, |seekTenths| tenths of a second in, into its current
// folder, at the video's display shape (a video of non-square pixels is scaled
// to it); one stored larger than the box is scaled down to fit it.
std::wstring MPlayerFrameCommandLine(const FrameLaunch& launch, std::int32_t seekTenths, const ProbedVideo& video);

// What MPlayer's probe printed.
ProbedVideo ReadProbeOutput(std::string_view output);

// A tenth of the way into the video, so not its black first frame; the start of
// a video shorter than a few seconds or of unknown length.
std::int32_t FrameSeekTenths(std::int64_t lengthSeconds);

// The "outdir" of an MPlayer "-vo" argument such as "png:outdir=%N%C:\frames:z=1",
// for the programs that stand in for MPlayer: where its value lies in the
// argument (the quoting included) and the folder it names. The plugin files
// quote this value but never read it.
struct MPlayerOutdir {
  size_t Offset = 0;
  size_t Length = 0;
  std::wstring Folder;
};
std::optional<MPlayerOutdir> FindMPlayerOutdir(std::wstring_view voArgument);
