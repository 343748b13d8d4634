#include "mpv_messages.h"

#include <limits>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Reads JSON from the front of a line; every step fails rather than read past its end.
class JsonCursor {
 public:
  explicit JsonCursor(std::string_view text) : text_(text) {}

  bool AtEnd() {
    SkipSpace();
    return at_ == text_.size();
  }
  char Peek() {
    SkipSpace();
    return at_ < text_.size() ? text_[at_] : '\0';
  }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++at_;
    return true;
  }

  // A string, from its opening quote. The texts the plugin compares are ASCII: a
  // \u escape stands as "?" in what it gives.
  bool String(std::string& text) {
    if (!Take('"')) return false;
    text.clear();
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (c != '\\') {
        text += c;
      } else if (at_ < text_.size() && text_[at_] != 'u') {
        const char escape = text_[at_++];
        const char* found = std::string_view("b\bf\fn\nr\rt\t").data();
        for (; *found != '\0' && *found != escape; found += 2) {}
        text += *found != '\0' ? found[1] : escape;  // \" \\ \/ and the rest as themselves
      } else {
        for (int i = 0; i < 4; ++i) {
          if (++at_ >= text_.size() || !IsHexDigit(text_[at_])) return false;
        }
        ++at_;
        text += '?';
      }
    }
    return false;
  }

  // Any value; what the plugin needs of it goes into |message| when |keep|.
  bool Value(MpvMessage& message, bool keep) {
    MpvMessage ignored;
    MpvMessage& into = keep ? message : ignored;
    const char c = Peek();
    if (c == '"') {
      into.Data = MpvDataKind::Text;
      return String(into.Text);
    }
    if (c == '{' || c == '[') {
      into.Data = MpvDataKind::Composite;
      return SkipComposite();
    }
    if (c == '-' || IsDigit(c)) return Number(into);
    into.Flag = Literal("true");
    if (into.Flag || Literal("false")) {
      into.Data = MpvDataKind::Flag;
      return true;
    }
    into.Data = MpvDataKind::Null;
    return Literal("null");
  }

 private:
  void SkipSpace() {
    while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
  }

  bool Literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  bool Number(MpvMessage& into) {
    const std::size_t from = at_;
    const bool negative = Literal("-");
    if (at_ >= text_.size() || !IsDigit(text_[at_])) return false;
    const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    std::uint64_t magnitude = 0;
    bool whole = true;
    for (; at_ < text_.size() && IsDigit(text_[at_]); ++at_) {
      const auto digit = static_cast<std::uint64_t>(text_[at_] - '0');
      whole = whole && magnitude <= (limit - digit) / 10;
      magnitude = magnitude * 10 + digit;
    }
    // A fraction or an exponent: a number, but not a whole one.
    while (at_ < text_.size() && (IsDigit(text_[at_]) || std::string_view(".eE+-").find(text_[at_]) != std::string_view::npos)) {
      whole = false;
      ++at_;
    }
    into.Data = whole ? MpvDataKind::Integer : MpvDataKind::OtherNumber;
    into.NumberText = std::string(text_.substr(from, at_ - from));
    into.Integer = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
  }

  // An object or array, whatever it holds: only its brackets and strings are followed.
  bool SkipComposite() {
    std::size_t depth = 0;
    std::string ignored;
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == '"') {
        if (!String(ignored)) return false;
        continue;
      }
      ++at_;
      if (c == '{' || c == '[') ++depth;
      if ((c == '}' || c == ']') && --depth == 0) return true;
    }
    return false;
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

bool ParseMpvMessage(std::string_view line, MpvMessage& message) {
  JsonCursor cursor(line);
  message = MpvMessage{};
  std::string key;
  if (!cursor.Take('{')) return false;
  if (!cursor.Take('}')) {
    do {
      if (!cursor.String(key) || !cursor.Take(':')) return false;
      std::string* text = key == "event" ? &message.Event : key == "name" ? &message.Name
                          : key == "reason"                  ? &message.Reason
                                                             : nullptr;
      if (text != nullptr ? !cursor.String(*text) : !cursor.Value(message, key == "data")) return false;
    } while (cursor.Take(','));
    if (!cursor.Take('}')) return false;
  }
  return cursor.AtEnd();
}
