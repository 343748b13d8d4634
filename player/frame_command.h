#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Pure composition of the command lines that have a player write one frame of a
// video as an image, for the file manager's thumbnails; no system calls.

// The name each player gives the first image it writes.
constexpr std::wstring_view kFrameImageName = L"00000001.png";

struct FrameLaunch {
  std::wstring_view PlayerPath;
  std::wstring_view PlayerParams;  // taken as it stands, as for viewing
  std::wstring_view FileName;
  std::wstring_view ImageFolder;   // where the image goes; no trailing backslash
};

// MPlayer's quoting of a sub-option value: "%N%" and the value, N its length in
// UTF-8 bytes, so that a ':' inside it (a drive's colon) separates nothing.
std::wstring QuoteMPlayerSubOption(std::wstring_view value);

// Whether MPlayer can be given |folder| for its image. In ASCII only: MPlayer may
// read its command line in the ANSI code page, where a quoted value's length would
// be counted otherwise. And short: MPlayer puts the image's path into 100 bytes,
// and cuts a longer one, which then names another file, perhaps outside the folder.
bool MPlayerCanWriteInto(std::wstring_view folder);

// MPlayer first says what the file holds and how long it lasts; no frame is written.
std::wstring MPlayerProbeCommandLine(const FrameLaunch& launch);
// Then it writes one frame, |seekTenths| tenths of a second in, at the video's
// display shape (a video of non-square pixels is scaled to it).
std::wstring MPlayerFrameCommandLine(const FrameLaunch& launch, std::int32_t seekTenths);
// mpv's command line for a frame is with the rest of mpv's dialect (mpv_dialect.h).

struct ProbedVideo {
  bool HasVideo = false;          // a picture of some size: not audio alone, not unplayable
  std::int64_t LengthSeconds = 0;  // whole seconds; 0 when unknown
};
// What MPlayer's probe printed.
ProbedVideo ReadProbeOutput(std::string_view output);

// A tenth of the way into the video, so not its black first frame; the start of
// a video shorter than a few seconds or of unknown length.
std::int32_t FrameSeekTenths(std::int64_t lengthSeconds);
