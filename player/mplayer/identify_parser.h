#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "video_size.h"

// Pure reading of MPlayer's identification output, fed one read at a time, so
// that it can be tested and fuzzed on chunk sequences without a pipe.

// Leading blanks, one sign, "$"/"x"/"X"/"0x"/"0X" for hexadecimal, then digits up
// to the first non-digit. Wraps modulo 2^64 rather than overflowing.
std::int64_t ParseIdentifyNumber(std::string_view text);

// The width and height lines in |text|; |start| is what each keeps when its line is missing.
VideoSize ExtractVideoSize(std::string_view text, VideoSize start);

class IdentifyParser {
 public:
  static constexpr std::size_t kReadSize = 1024;      // bytes asked for per read
  static constexpr std::size_t kTextCap = 1 << 20;    // a flooding player can't exhaust the host

  // True while a stage still waits for output.
  bool WantsMoreOutput() const { return stage_ != Stage::Done; }
  // The bytes one read returned; an empty read ends the current stage.
  void OnRead(std::string_view bytes);
  // The pipe ended or failed: the current stage ends.
  void OnReadFailed();
  // The time for identification is up: no more reading.
  void OnBoundReached();

  VideoSize Result() const;
  const std::string& Text() const { return text_; }

 private:
  enum class Stage { AwaitingFileLine, AwaitingLengthLine, Done };
  void EndFirstStage(bool lengthLineAlreadyRead);

  Stage stage_ = Stage::AwaitingFileLine;
  bool exitLineSeen_ = false;
  std::string text_;
};
