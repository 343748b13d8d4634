#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// One line that mpv wrote on its control pipe (a JSON object: an event or a
// reply), read as far as the plugin needs it: its top-level "event", "name" and
// "reason" texts and its "data". Pure, and safe on any bytes: a line that is not
// such an object gives nothing.

enum class MpvDataKind { Missing, Null, Flag, Integer, OtherNumber, Text, Composite };

struct MpvMessage {
  std::string Event;   // "property-change", "end-file", ...; empty in a reply
  std::string Name;    // property-change: the property's name
  std::string Reason;  // end-file: "eof", "error", ...
  MpvDataKind Data = MpvDataKind::Missing;  // property-change without data: not available
  bool Flag = false;          // Flag
  std::int64_t Integer = 0;   // Integer (one that fits 64 bits)
  std::string Text;           // Text, its escapes decoded (a \u escape as "?")
  std::string NumberText;     // Integer and OtherNumber: the number as written
};

// False for a line that is not such an object; |message| then holds nothing certain.
bool ParseMpvMessage(std::string_view line, MpvMessage& message);
