// libFuzzer target, built natively: the number rule of the identification
// values over arbitrary text. Besides running clean under the sanitizers, these
// properties must hold for every text s:
//  1. leading blanks are skipped: " " + s reads as s;
//  2. a sign negates or keeps: "-" + s and "+" + s read as -s and s (modulo 2^64)
//     when s does not begin with a blank or a sign itself;
//  3. what follows the digits is never read: s + t reads as s when s ends in a
//     character that can't continue a number;
//  4. one more digit scales the value: decimal d + "7" reads as 10 d + 7, and
//     hexadecimal h + "b" as 16 h + 11, modulo 2^64;
//  5. short plain numbers read as the C library reads them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "identify_parser.h"

namespace {

void Check(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s\n", property);
  std::abort();
}

std::uint64_t Read(std::string_view text) { return static_cast<std::uint64_t>(ParseIdentifyNumber(text)); }

bool IsDecimalDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool AllOf(std::string_view text, bool (*test)(char)) {
  for (char c : text) {
    if (!test(c)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(bytes), size);
  // The first byte, when there is one, says where the text ends and a tail begins.
  const size_t cut = size == 0 ? 0 : static_cast<std::uint8_t>(input[0]) % size;
  const std::string s(input.substr(size == 0 ? 0 : 1, cut == 0 ? std::string_view::npos : cut));
  const std::string t(input.size() > 1 + s.size() ? input.substr(1 + s.size()) : std::string_view());

  const std::uint64_t value = Read(s);

  Check(Read(" " + s) == value, "leading blanks are skipped");

  if (s.empty() || (s[0] != ' ' && s[0] != '-' && s[0] != '+')) {
    Check(Read("-" + s) == ~value + 1, "a minus negates");
    Check(Read("+" + s) == value, "a plus keeps");
  }

  if (!s.empty()) {
    const char last = s.back();
    const bool mayContinue = IsHexDigit(last) || last == ' ' || last == '-' || last == '+' || last == '$' ||
                             last == 'x' || last == 'X';
    if (!mayContinue) Check(Read(s + t) == value, "what follows the digits is never read");
  }

  if (!s.empty() && AllOf(s, IsDecimalDigit)) {
    Check(Read(s + "7") == value * 10 + 7, "a decimal digit scales by ten");
  }
  if (AllOf(s, IsHexDigit)) {
    Check(Read("0x" + s + "b") == Read("0x" + s) * 16 + 11, "a hexadecimal digit scales by sixteen");
    Check(Read("$" + s) == Read("0X" + s) && Read("x" + s) == Read("X" + s) && Read("x" + s) == Read("0x" + s),
          "every hexadecimal prefix reads alike");
  }

  if (!s.empty() && s.size() <= 18 && AllOf(s, IsDecimalDigit)) {
    Check(value == std::strtoull(s.c_str(), nullptr, 10), "plain decimal reads as the C library reads it");
  }
  if (!s.empty() && s.size() <= 15 && AllOf(s, IsHexDigit)) {
    Check(Read("0x" + s) == std::strtoull(s.c_str(), nullptr, 16), "plain hexadecimal reads as the C library reads it");
  }

  // The sizes keep the low 32 bits of the value.
  const VideoSize sizes = ExtractVideoSize("ID_VIDEO_WIDTH=" + s + "\nID_VIDEO_HEIGHT=" + s + "\n", {7, 7});
  const std::uint64_t lineValue = s.find('\n') == std::string::npos ? value : Read(s.substr(0, s.find('\n') + 1));
  Check(static_cast<std::uint32_t>(sizes.Width) == static_cast<std::uint32_t>(lineValue & 0xFFFFFFFFu),
        "the width keeps the low 32 bits");
  return 0;
}
