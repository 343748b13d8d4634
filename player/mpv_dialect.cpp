#include "mpv_dialect.h"

#include <limits>

#include "mpv_messages.h"

namespace {

// Text commands in input.conf syntax: mpv sends no reply to these.
std::string_view MpvCommand(PlayerAction action) {
  switch (action) {
    case PlayerAction::Pause: return "cycle pause";
    case PlayerAction::SeekBack10: return "seek -10";
    case PlayerAction::SeekForward10: return "seek +10";
    case PlayerAction::SeekBack60: return "seek -60";
    case PlayerAction::SeekForward60: return "seek +60";
    case PlayerAction::VolumeUp: return "add volume 2";
    case PlayerAction::VolumeDown: return "add volume -2";
    case PlayerAction::BrightnessUp: return "add brightness 1";
    case PlayerAction::BrightnessDown: return "add brightness -1";
    case PlayerAction::LoopOn: return "set loop-file inf";
    case PlayerAction::LoopOff: return "set loop-file no";
    case PlayerAction::MuteOn: return "set mute yes";
    case PlayerAction::MuteOff: return "set mute no";
    case PlayerAction::ShowProgress: return "show-progress";
    case PlayerAction::FullScreen: return {};  // ignored in --wid mode: the plugin does it
    case PlayerAction::Quit: return "quit";
  }
  return {};
}

// A reported size counts when it is a whole number that fits the placement's integers.
std::int32_t SizeOf(const MpvMessage& message) {
  const bool counts = message.Data == MpvDataKind::Integer && message.Integer > 0 &&
                      message.Integer <= std::numeric_limits<std::int32_t>::max();
  return counts ? static_cast<std::int32_t>(message.Integer) : 0;
}

}  // namespace

const PlayerDialect kMpvDialect = {ComposeMpvCommandLine, MpvCommand, true};

std::wstring ComposeMpvCommandLine(const PlayerLaunch& launch) {
  std::wstring line = QuoteIfSpaced(launch.PlayerPath);
  line += launch.PlayerParams;
  line += L" --input-ipc-server=";
  line += launch.ControlPipe;
  line += L" --wid=";
  line += ViewHandleTextUnsigned32(static_cast<std::uint32_t>(launch.ViewWindow));
  // Keys and clicks that reach mpv's window do nothing of their own: no default
  // bindings, no keyboard and no pointer input from its window, no on-screen controller.
  line += L" --input-default-bindings=no --input-vo-keyboard=no --input-cursor=no --osc=no -- ";
  line += QuoteIfSpaced(launch.FileName);
  return line;
}

std::string_view MpvIdentification::Requests() {
  return "{\"command\":[\"observe_property\",1,\"dwidth\"]}\n"
         "{\"command\":[\"observe_property\",2,\"dheight\"]}\n"
         "{\"command\":[\"observe_property\",3,\"vid\"]}\n"
         "{\"command\":[\"observe_property\",4,\"idle-active\"]}\n";
}

void MpvIdentification::OnRead(std::string_view bytes) {
  while (!bytes.empty() && !Done()) {
    const std::size_t end = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    if (!skippingLine_ && line_.size() + piece.size() <= kLineCap) {
      line_ += piece;
    } else {
      skippingLine_ = true;
      line_.clear();
    }
    if (end == std::string_view::npos) return;
    if (!skippingLine_) OnLine(line_);
    line_.clear();
    skippingLine_ = false;
  }
}

void MpvIdentification::OnLine(std::string_view line) {
  const std::optional<MpvMessage> message = ParseMpvMessage(line);
  if (!message) return;
  if (message->Event == "end-file") {
    (message->Reason == "error" ? rejected_ : ended_) = true;
  } else if (message->Event == "property-change") {
    if (message->Name == "dwidth") {
      width_ = SizeOf(*message);
    } else if (message->Name == "dheight") {
      height_ = SizeOf(*message);
    } else if (message->Name == "vid") {
      // No track: false in the JSON of today's mpv; "no", as the option is written, taken too.
      noVideo_ = (message->Data == MpvDataKind::Flag && !message->Flag) ||
                 (message->Data == MpvDataKind::Text && message->Text == "no");
    } else if (message->Name == "idle-active") {
      rejected_ = rejected_ || (message->Data == MpvDataKind::Flag && message->Flag);
    }
  }
}

void MpvIdentification::OnEnded(std::optional<std::uint32_t> exitCode) {
  if (Done()) return;  // the answer stands
  ended_ = true;
  if (exitCode == kMpvCannotPlayExitCode) rejected_ = true;
}

bool MpvIdentification::Done() const { return rejected_ || ended_ || noVideo_ || (width_ > 0 && height_ > 0); }

VideoSize MpvIdentification::Result() const { return rejected_ ? VideoSize{-1, -1} : VideoSize{width_, height_}; }
