// libFuzzer target, built natively: mpv's identification (and with it the reading
// of mpv's JSON lines) over arbitrary control-pipe bytes, as one read or cut into
// reads at the places the input's first bytes choose. Besides running clean under
// the sanitizers, these properties must hold for all bytes:
//  1. the result is -1 by -1 (rejected) or two sizes of at least 0;
//  2. the result does not depend on how the bytes were cut into reads;
//  3. once done, more bytes change nothing; the pipe's end then changes nothing either.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "mpv_dialect.h"

namespace {

void Check(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property violated: %s\n", property);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t step = 1 + data[0] % 64;  // the length of each read but the last
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

  MpvIdentification whole;
  whole.OnRead(bytes);
  MpvIdentification cut;
  for (std::size_t at = 0; at < bytes.size(); at += step) cut.OnRead(bytes.substr(at, step));

  const VideoSize result = whole.Result();
  Check((result.Width == -1 && result.Height == -1) || (result.Width >= 0 && result.Height >= 0),
        "a result is rejected or two sizes of at least 0");
  Check(cut.Result() == result && cut.Done() == whole.Done(), "reads cut anywhere give the same result");
  if (whole.Done()) {
    whole.OnRead(bytes);
    whole.OnEnded(kMpvCannotPlayExitCode);
    Check(whole.Result() == result, "once done, nothing changes the result");
  }
  return 0;
}
