#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// Lines put together from reads that may split them anywhere. A line that
// outgrows the cap is dropped whole, so a player's flood can't grow our memory.
class CappedLines {
 public:
  explicit CappedLines(std::size_t cap) : cap_(cap) {}

  // Hands each whole line of |bytes| within the cap (without its end, one of
  // |ends|) to |onLine|, which returns whether to go on; the rest waits for the
  // next read.
  template <typename OnLine>
  void Feed(std::string_view bytes, std::string_view ends, OnLine&& onLine) {
    while (!bytes.empty()) {
      const std::size_t end = bytes.find_first_of(ends);
      const std::string_view piece = bytes.substr(0, end);
      bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
      if (!skipping_ && line_.size() + piece.size() <= cap_) {
        line_ += piece;
      } else {
        skipping_ = true;
        line_.clear();
      }
      if (end == std::string_view::npos) return;
      const bool goOn = skipping_ || onLine(std::string_view(line_));
      line_.clear();
      skipping_ = false;
      if (!goOn) return;
    }
  }

 private:
  std::string line_;
  bool skipping_ = false;
  std::size_t cap_;
};
