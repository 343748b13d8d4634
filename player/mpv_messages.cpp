#include "mpv_messages.h"

#include <limits>
#include <tuple>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendUtf8(std::string& text, unsigned code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | (code >> 6));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xE0 | (code >> 12));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Reads JSON from the front of a line; every step fails rather than read past its end.
class JsonCursor {
 public:
  explicit JsonCursor(std::string_view text) : text_(text) {}

  void SkipSpace() {
    while (at_ < text_.size() && IsSpace(text_[at_])) ++at_;
  }
  bool AtEnd() const { return at_ == text_.size(); }
  bool Take(char c) {
    SkipSpace();
    if (at_ >= text_.size() || text_[at_] != c) return false;
    ++at_;
    return true;
  }
  char Peek() {
    SkipSpace();
    return at_ < text_.size() ? text_[at_] : '\0';
  }

  // A string, from its opening quote; \u escapes become UTF-8 (a surrogate half as U+FFFD).
  std::optional<std::string> String() {
    if (!Take('"')) return std::nullopt;
    std::string text;
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return text;
      if (c != '\\') {
        text += c;
        continue;
      }
      if (at_ >= text_.size()) return std::nullopt;
      const char escape = text_[at_++];
      switch (escape) {
        case 'b': text += '\b'; break;
        case 'f': text += '\f'; break;
        case 'n': text += '\n'; break;
        case 'r': text += '\r'; break;
        case 't': text += '\t'; break;
        case 'u': {
          if (text_.size() - at_ < 4) return std::nullopt;
          unsigned code = 0;
          for (int i = 0; i < 4; ++i) {
            const int digit = HexValue(text_[at_++]);
            if (digit < 0) return std::nullopt;
            code = code * 16 + static_cast<unsigned>(digit);
          }
          AppendUtf8(text, code >= 0xD800 && code <= 0xDFFF ? 0xFFFD : code);
          break;
        }
        default: text += escape; break;  // \" \\ \/ and anything else as itself
      }
    }
    return std::nullopt;
  }

  // Any value; what the plugin needs of it goes into |message| when |keep|.
  bool Value(MpvMessage& message, bool keep) {
    const char c = Peek();
    if (c == '"') {
      std::optional<std::string> text = String();
      if (!text) return false;
      if (keep) {
        message.Data = MpvDataKind::Text;
        message.Text = std::move(*text);
      }
      return true;
    }
    if (c == '{' || c == '[') {
      if (keep) message.Data = MpvDataKind::Composite;
      return SkipComposite();
    }
    if (c == '-' || IsDigit(c)) return Number(message, keep);
    for (const auto& [word, kind, flag] : {std::tuple{"true", MpvDataKind::Flag, true},
                                           std::tuple{"false", MpvDataKind::Flag, false},
                                           std::tuple{"null", MpvDataKind::Null, false}}) {
      const std::string_view literal(word);
      if (text_.substr(at_, literal.size()) == literal) {
        at_ += literal.size();
        if (keep) {
          message.Data = kind;
          message.Flag = flag;
        }
        return true;
      }
    }
    return false;
  }

 private:
  bool Number(MpvMessage& message, bool keep) {
    const bool negative = text_[at_] == '-';
    if (negative) ++at_;
    if (at_ >= text_.size() || !IsDigit(text_[at_])) return false;
    std::uint64_t magnitude = 0;
    bool fits = true;
    for (; at_ < text_.size() && IsDigit(text_[at_]); ++at_) {
      const auto digit = static_cast<std::uint64_t>(text_[at_] - '0');
      fits = fits && magnitude <= (std::numeric_limits<std::uint64_t>::max() - digit) / 10;
      if (fits) magnitude = magnitude * 10 + digit;
    }
    bool whole = true;
    if (at_ < text_.size() && text_[at_] == '.') {
      whole = false;
      ++at_;
      while (at_ < text_.size() && IsDigit(text_[at_])) ++at_;
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      whole = false;
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) ++at_;
      while (at_ < text_.size() && IsDigit(text_[at_])) ++at_;
    }
    if (!keep) return true;
    const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    if (whole && fits && magnitude <= limit) {
      message.Data = MpvDataKind::Integer;
      message.Integer = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    } else {
      message.Data = MpvDataKind::OtherNumber;
    }
    return true;
  }

  // An object or array, whatever it holds: only its brackets and strings are followed.
  bool SkipComposite() {
    std::size_t depth = 0;
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == '"') {
        if (!String()) return false;
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

std::optional<MpvMessage> ParseMpvMessage(std::string_view line) {
  JsonCursor cursor(line);
  MpvMessage message;
  if (!cursor.Take('{')) return std::nullopt;
  if (!cursor.Take('}')) {
    do {
      const std::optional<std::string> key = cursor.String();
      if (!key || !cursor.Take(':')) return std::nullopt;
      std::string* text = *key == "event" ? &message.Event : *key == "name" ? &message.Name
                          : *key == "reason"                   ? &message.Reason
                                                               : nullptr;
      if (text != nullptr) {
        std::optional<std::string> value = cursor.Peek() == '"' ? cursor.String() : std::nullopt;
        if (!value) return std::nullopt;
        *text = std::move(*value);
      } else if (!cursor.Value(message, *key == "data")) {
        return std::nullopt;
      }
    } while (cursor.Take(','));
    if (!cursor.Take('}')) return std::nullopt;
  }
  cursor.SkipSpace();
  if (!cursor.AtEnd()) return std::nullopt;
  return message;
}
