#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "capped_lines.h"

#include "video_size.h"

// VLC's identification through its remote control: it is asked "info" (the
// current file's streams) and "get_time" (whole seconds played) again and
// again until the answer is known, each time once the last questions are
// answered. Pure: fed what the connection brings.
//
// "info" lists "+----[ NAME ]" blocks of "| label: value" lines, ending with
// "+----[ end of stream info ]": the file's "Meta data", then one block per
// stream (nothing at all before VLC has opened the file). The stream blocks'
// names and labels are in the user's language; a video stream is the one whose
// values include sizes ("640x360"): its shown size ("Video resolution") and
// its decoder's buffer ("Buffer dimensions", as large or larger), in no fixed
// order, so the smaller is taken. VLC does not tell the pixels' shape there:
// a video of non-square pixels is reported by its stored size.
// Done as soon as the answer is known:
// - a stream with a size: the size;
// - streams listed without a size after a second of playing: no video (audio);
// - VLC ended (the connection closed) after listing streams: whatever was known;
//   before listing any: it cannot play the file (-1 by -1), as VLC ends at once
//   on a file it can't open.
class VlcIdentification {
 public:
  // Lines of text kept for a line not yet ended; a longer line is skipped.
  static constexpr std::size_t kLineCap = 4096;

  // The questions, each line ending in a line feed.
  static std::string_view Request();
  // Whether the last request's answers have all come.
  bool Answered() const { return answered_; }
  void OnAsked() { answered_ = false; }

  void OnRead(std::string_view bytes);
  void OnEnded();
  bool Done() const;
  VideoSize Result() const;

 private:
  void OnLine(std::string_view line);
  void EndBlock();

  CappedLines lines_{kLineCap};
  bool answered_ = true;
  bool inStream_ = false;          // inside a stream's block of an answer
  std::int32_t blockWidth_ = 0;    // the smallest size of the stream's block so far
  std::int32_t blockHeight_ = 0;
  bool answerListsStreams_ = false;
  bool streamsSeen_ = false;       // some answer listed streams
  bool videoless_ = false;         // the last whole answer listed streams, none with a size
  std::int64_t secondsPlayed_ = 0;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  bool rejected_ = false;
  bool ended_ = false;
};
