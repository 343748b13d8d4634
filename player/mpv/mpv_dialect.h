#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "capped_lines.h"

#include "command_line.h"
#include "player_dialect.h"
#include "player_report.h"
#include "video_size.h"

// mpv, and all that differs for it. mpv has no slave mode and reads no commands
// on standard input under Windows: it serves a control pipe, named on its
// command line (--input-ipc-server), where each line that does not begin with
// "{" is a command in input.conf syntax, and JSON lines get JSON replies and
// events. mpv writes its events to every client of that pipe and stops when one
// does not read them, so the plugin reads the pipe for the whole life of a view.
// It draws in a window of its own that it makes a child of ours (--wid); that
// window takes no keys or clicks of its own, so the keys stay with the plugin.
// In that mode it ignores full screen: the plugin shows the view full screen
// itself (plugin/view/full_screen.cpp). Apart from what embedding needs, the user's
// own mpv configuration is honoured.
//
// The oldest mpv this works with is 0.17, the first to serve its control pipe
// as a Windows named pipe; every option below is older. Thumbnails need 0.21.
extern const PlayerDialect kMpvDialect;

// The program, MPlayer_params as they stand, the control pipe, the view window as
// an unsigned 32-bit decimal in both builds (mpv ignores a negative one and opens a
// window of its own), the options that take keys and clicks from mpv's window,
// and the file after "--", so that no file name can be read as an option.
// Options are written "--name=value": "--name value" is an error since mpv 0.32.
// Only when asked, before "--": --volume=N and --mute=yes for a remembered
// level, --loop-file=inf for At_end=loop, --pause=yes for Start_paused.
std::wstring ComposeMpvCommandLine(const PlayerLaunch& launch);

// Its reports after identification, on the control pipe: the observed volume,
// mute and eof-reached (keep-open holds the last frame, paused), and an end-file
// for the end of the video where keep-open did not hold it.
void ReadMpvReport(std::string_view line, PlayerReport& report);

// For a thumbnail, mpv writes one frame a tenth of the way in (from the start when
// it can't tell the length) as an image, in one run, at the display shape by
// itself, fitted to the box. Its options are those of mpv 0.21 or later (the
// image output's own options came with it; the older mpv stops at once on them).
std::wstring MpvFrameCommandLine(const FrameLaunch& launch);

// mpv's exit code for a file it could not play.
constexpr std::uint32_t kMpvCannotPlayExitCode = 2;

// Identification through the control pipe. mpv is asked to report, now and on
// every change, the video's display size, its video track and whether it has
// gone idle; it may have loaded the file before the plugin could connect, and
// an observed property is reported at once. Fed what the pipe brings, one read at
// a time; done as soon as the answer is known:
// - a display width and height: the size;
// - no video track (an audio file): playable without a size;
// - the file ended in an error, mpv went idle (an idle=yes configuration), or
//   mpv ended with exit code 2: it cannot play the file (-1 by -1);
// - the file or mpv ended otherwise: whatever size was reported.
class MpvIdentification {
 public:
  // Lines of text kept for a line not yet ended; a longer line is skipped.
  static constexpr std::size_t kLineCap = 64 * 1024;

  // The requests to write once connected, each line ending in a line feed.
  static std::string_view Requests();

  void OnRead(std::string_view bytes);
  // The control pipe has ended; |exitCode| is mpv's, once it has ended.
  void OnEnded(std::optional<std::uint32_t> exitCode);
  bool Done() const;
  // At any time: what is known so far.
  VideoSize Result() const;

 private:
  void OnLine(std::string_view line);

  CappedLines lines_{kLineCap};
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  bool noVideo_ = false;
  bool rejected_ = false;
  bool ended_ = false;
};
