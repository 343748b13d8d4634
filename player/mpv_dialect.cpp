#include "mpv_dialect.h"

#include <iterator>
#include <limits>

#include "mpv_messages.h"

namespace {

// Text commands in input.conf syntax, to which mpv sends no reply, in the order of PlayerAction.
constexpr std::string_view kCommands[] = {
    "cycle pause",        // Pause
    "seek -10",           // SeekBack10
    "seek +10",           // SeekForward10
    "seek -60",           // SeekBack60
    "seek +60",           // SeekForward60
    "add volume 2",       // VolumeUp
    "add volume -2",      // VolumeDown
    "add brightness 1",   // BrightnessUp
    "add brightness -1",  // BrightnessDown
    "set loop-file inf",  // LoopOn
    "set loop-file no",   // LoopOff
    "set mute yes",       // MuteOn
    "set mute no",        // MuteOff
    "show-progress",      // ShowProgress
    "",                   // FullScreen: ignored in --wid mode, the plugin does it
    "quit",               // Quit
};
static_assert(std::size(kCommands) == kPlayerActions);

std::string_view MpvCommand(PlayerAction action) { return kCommands[static_cast<std::size_t>(action)]; }

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

std::wstring MpvFrameCommandLine(const FrameLaunch& launch) {
  // Without the user's configuration: a "keep-open" or "pause" there would hold
  // the player after its frame until the bound.
  std::wstring line = QuoteIfSpaced(launch.PlayerPath);
  line += launch.PlayerParams;
  line += L" --no-config --no-terminal --audio=no --ao=null --sid=no --start=10% --frames=1"
          L" --vo=image --vo-image-format=png --vo-image-png-compression=0";
  AppendArgument(line, L"--vo-image-outdir=", launch.ImageFolder);
  AppendArgument(line, L"", launch.FileName);
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
  MpvMessage message;
  if (!ParseMpvMessage(line, message)) return;
  if (message.Event == "end-file") {
    (message.Reason == "error" ? rejected_ : ended_) = true;
  } else if (message.Event == "property-change") {
    if (message.Name == "dwidth") {
      width_ = SizeOf(message);
    } else if (message.Name == "dheight") {
      height_ = SizeOf(message);
    } else if (message.Name == "vid") {
      // No track: false in the JSON of today's mpv; "no", as the option is written, taken too.
      noVideo_ = (message.Data == MpvDataKind::Flag && !message.Flag) ||
                 (message.Data == MpvDataKind::Text && message.Text == "no");
    } else if (message.Name == "idle-active") {
      rejected_ = rejected_ || (message.Data == MpvDataKind::Flag && message.Flag);
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
