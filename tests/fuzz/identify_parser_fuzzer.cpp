// libFuzzer target, built natively: the identification parsing over arbitrary
// sequences of reads, failed reads and the bound. Besides running clean under
// the sanitizers, every input must keep these properties:
//  1. the kept text is exactly what the reads brought (each cut at its first zero
//     byte), up to the cap, and never longer than the cap;
//  2. the sizes are those the reading rules give: the width and height lines of
//     the text, each by the number rule and cut to its low 32 bits, starting from
//     -1 only when the exit line was in the text the first stage read (a second,
//     plainly written reading of the rules below);
//  3. so -1 by -1 comes only from an exit line in the first stage or from size
//     lines that say -1 themselves;
//  4. once the parser wants no more output, further reads change nothing;
//  5. splitting a read that ends no stage, at a point that cuts no marker, changes
//     neither the text nor the sizes (the chunking matters only where a marker or
//     a stage's end falls).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "identify_parser.h"

namespace {

constexpr std::string_view kMarkers[] = {"ID_FILENAME", "ID_EXIT=EOF", "ID_LENGTH", "ID_VIDEO_WIDTH",
                                         "ID_VIDEO_HEIGHT"};

enum class Kind { Read, Failed, Bound };

struct Event {
  Kind What = Kind::Read;
  std::string Bytes;
};

[[noreturn]] void Violated(const char* property) {
  std::fprintf(stderr, "property violated: %s\n", property);
  std::abort();
}

void Check(bool holds, const char* property) {
  if (!holds) Violated(property);
}

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// The number rule, written out step by step from its description.
std::int64_t NumberByTheRule(std::string text) {
  while (!text.empty() && text.front() == ' ') text.erase(0, 1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.erase(0, 1);
  }
  unsigned base = 10;
  if (!text.empty() && (text.front() == '$' || text.front() == 'x' || text.front() == 'X')) {
    base = 16;
    text.erase(0, 1);
  } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.erase(0, 2);
  }
  const std::string digits = base == 16 ? "0123456789abcdef" : "0123456789";
  std::uint64_t value = 0;
  for (char c : text) {
    const char lower = c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
    const size_t digit = digits.find(lower);
    if (lower == '\0' || digit == std::string::npos) break;
    value = value * base + digit;
  }
  return static_cast<std::int64_t>(negative ? ~value + 1 : value);
}

// One size step as described: position p of the marker counted from 1, the first
// p + length characters removed, q the first line feed counted from 1 (0 for
// none), the first q characters converted and their low 32 bits kept.
void SizeStep(std::string& text, std::string_view marker, std::int32_t& size) {
  const size_t found = text.find(marker);
  if (found == std::string::npos) return;
  const size_t p = found + 1;
  text.erase(0, std::min(text.size(), p + marker.size()));
  const size_t lineFeed = text.find('\n');
  const size_t q = lineFeed == std::string::npos ? 0 : lineFeed + 1;
  const std::uint64_t value = static_cast<std::uint64_t>(NumberByTheRule(text.substr(0, q)));
  size = static_cast<std::int32_t>(static_cast<std::uint32_t>(value & 0xFFFFFFFFu));
}

struct Reading {
  std::string Text;            // all that was kept
  std::string FirstStageText;  // what the text was when the first stage ended
  size_t EventsTaken = 0;
  std::vector<bool> EndedStage;  // per event: a stage (or the reading) ended with it
};

// The two stages, read plainly from their description, with our departures: the
// kept text is capped, a first stage whose read also held the length line ends
// the reading, and the bound ends it at once.
Reading ReadByTheRules(const std::vector<Event>& events) {
  Reading reading;
  reading.EndedStage.assign(events.size(), false);
  int stage = 1;
  bool done = false;
  auto endFirstStage = [&] {
    reading.FirstStageText = reading.Text;
    stage = 2;
  };
  for (size_t i = 0; i < events.size() && !done; ++i) {
    const Event& event = events[i];
    const int stageBefore = stage;
    if (event.What == Kind::Bound) {
      if (stage == 1) endFirstStage();
      done = true;
    } else if (event.What == Kind::Failed) {
      if (stage == 1) endFirstStage();
      else done = true;
    } else {
      const std::string chunk = event.Bytes.substr(0, event.Bytes.find('\0'));
      const size_t room = IdentifyParser::kTextCap - std::min(IdentifyParser::kTextCap, reading.Text.size());
      reading.Text += chunk.substr(0, room);
      if (stage == 1) {
        if (Contains(chunk, "ID_FILENAME")) {
          endFirstStage();
          if (Contains(chunk, "ID_LENGTH")) done = true;
        } else if (event.Bytes.empty()) {
          endFirstStage();
        }
      } else if (Contains(chunk, "ID_LENGTH") || event.Bytes.empty()) {
        done = true;
      }
    }
    reading.EndedStage[i] = done || stage != stageBefore;
    reading.EventsTaken = i + 1;
  }
  if (!done && stage == 1) endFirstStage();  // the pipe ends: the open stage ends at a failed read
  return reading;
}

VideoSize SizesByTheRules(const Reading& reading) {
  const bool exitLine = Contains(reading.FirstStageText, "ID_EXIT=EOF");
  VideoSize size = exitLine ? VideoSize{-1, -1} : VideoSize{0, 0};
  std::string text = reading.Text;
  SizeStep(text, "ID_VIDEO_WIDTH", size.Width);
  SizeStep(text, "ID_VIDEO_HEIGHT", size.Height);
  return size;
}

// Feeds the events as ReadVideoSize would, while the parser wants output; the
// pipe ends after the last event.
struct Fed {
  VideoSize Result;
  std::string Text;
};

Fed Feed(const std::vector<Event>& events, IdentifyParser& parser) {
  for (size_t i = 0; i < events.size() && parser.WantsMoreOutput(); ++i) {
    switch (events[i].What) {
      case Kind::Read: parser.OnRead(events[i].Bytes); break;
      case Kind::Failed: parser.OnReadFailed(); break;
      case Kind::Bound: parser.OnBoundReached(); break;
    }
    Check(parser.Text().size() <= IdentifyParser::kTextCap, "the text never exceeds the cap");
  }
  while (parser.WantsMoreOutput()) parser.OnReadFailed();
  return {parser.Result(), parser.Text()};
}

std::vector<Event> EventsFrom(FuzzedDataProvider& data) {
  std::vector<Event> events;
  while (data.remaining_bytes() > 0 && events.size() < 4096) {
    const std::uint8_t kind = data.ConsumeIntegral<std::uint8_t>();
    if (kind == 0xFF) {
      events.push_back({Kind::Failed, {}});
    } else if (kind == 0xFE) {
      events.push_back({Kind::Bound, {}});
    } else if (kind == 0xFD && data.ConsumeIntegral<std::uint8_t>() == 0xFD) {
      // A flood: many full reads of one byte, to reach the cap (rare: it is slow).
      const std::string block(IdentifyParser::kReadSize, static_cast<char>(data.ConsumeIntegral<std::uint8_t>()));
      for (int i = 0; i < 1100; ++i) events.push_back({Kind::Read, block});
    } else {
      const size_t length = data.ConsumeIntegralInRange<size_t>(0, IdentifyParser::kReadSize);
      events.push_back({Kind::Read, data.ConsumeBytesAsString(length)});
    }
  }
  return events;
}

// Whether splitting |bytes| after |at| bytes would cut one of the markers.
bool CutsAMarker(std::string_view bytes, size_t at) {
  for (std::string_view marker : kMarkers) {
    for (size_t found = bytes.find(marker); found != std::string_view::npos; found = bytes.find(marker, found + 1)) {
      if (found < at && at < found + marker.size()) return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  const std::vector<size_t> splitChoices = {data.ConsumeIntegral<std::uint16_t>(),
                                            data.ConsumeIntegral<std::uint16_t>()};
  const std::vector<Event> events = EventsFrom(data);

  IdentifyParser parser;
  const Fed fed = Feed(events, parser);

  // 1. The text is what the reads brought, capped.
  const Reading reading = ReadByTheRules(events);
  Check(fed.Text == reading.Text, "the text is the reads' chunks, capped");
  Check(fed.Text.size() <= IdentifyParser::kTextCap, "the text never exceeds the cap");

  // 2. The sizes follow the rules.
  const VideoSize expected = SizesByTheRules(reading);
  Check(fed.Result == expected, "the sizes follow the reading rules");

  // 3. -1 by -1 only from an exit line in the first stage, or from lines that say so.
  if (fed.Result == VideoSize{-1, -1} && !Contains(reading.FirstStageText, "ID_EXIT=EOF")) {
    VideoSize fromLines{0, 0};
    std::string text = reading.Text;
    SizeStep(text, "ID_VIDEO_WIDTH", fromLines.Width);
    SizeStep(text, "ID_VIDEO_HEIGHT", fromLines.Height);
    Check(fromLines == VideoSize{-1, -1}, "-1 by -1 only from the exit line in the first stage");
  }

  // 4. Done is done.
  parser.OnRead("ID_FILENAME=x\nID_EXIT=EOF\nID_VIDEO_WIDTH=1\nID_VIDEO_HEIGHT=2\nID_LENGTH=3\n");
  parser.OnReadFailed();
  Check(parser.Text() == fed.Text && parser.Result() == fed.Result, "nothing counts after the end");

  // 5. Splitting a read that ends no stage, where no marker is cut, changes nothing.
  for (const size_t choice : splitChoices) {
    std::vector<size_t> candidates;
    for (size_t i = 0; i < reading.EventsTaken; ++i) {
      const Event& event = events[i];
      if (event.What == Kind::Read && !reading.EndedStage[i] && event.Bytes.size() >= 2 &&
          event.Bytes.find('\0') == std::string::npos) {
        candidates.push_back(i);
      }
    }
    if (candidates.empty()) break;
    const size_t index = candidates[choice % candidates.size()];
    const std::string& whole = events[index].Bytes;
    const size_t at = 1 + (choice / candidates.size()) % (whole.size() - 1);
    if (CutsAMarker(whole, at)) continue;
    std::vector<Event> split(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(index));
    split.push_back({Kind::Read, whole.substr(0, at)});
    split.push_back({Kind::Read, whole.substr(at)});
    split.insert(split.end(), events.begin() + static_cast<std::ptrdiff_t>(index) + 1, events.end());
    IdentifyParser again;
    const Fed refed = Feed(split, again);
    Check(refed.Text == fed.Text, "a split that cuts no marker keeps the text");
    Check(refed.Result == fed.Result, "a split that cuts no marker keeps the sizes");
  }
  return 0;
}
