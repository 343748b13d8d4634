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
    "multiply speed 0.9091",  // SpeedDown: 1/1.1, so that ] undoes [
    "multiply speed 1.1",     // SpeedUp
    "set speed 1",            // SpeedNormal
    "frame-step",             // FrameForward
    "frame-back-step",        // FrameBack
    "cycle audio",            // NextAudio
    "cycle sub",              // NextSubtitle
    "",                       // AskSound: its volume and mute are observed (Requests)
    "quit",                   // Quit
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

// Everything mpv needs is on its command line.
std::string MpvStartCommands(const PlayerStartOptions&) { return {}; }

const PlayerDialect kMpvDialect = {ComposeMpvCommandLine, MpvCommand, MpvStartCommands};

std::wstring ComposeMpvCommandLine(const PlayerLaunch& launch) {
  std::wstring line = PlayerCommandLine(launch.PlayerPath, launch.PlayerParams);
  line += L" --input-ipc-server=";
  line += launch.CommandChannel;
  line += L" --wid=";
  line += ViewHandleTextUnsigned32(static_cast<std::uint32_t>(launch.ViewWindow));
  // Keys and clicks that reach mpv's window do nothing of their own: no default
  // bindings, no keyboard and no pointer input from its window, no on-screen controller.
  line += L" --input-default-bindings=no --input-vo-keyboard=no --input-cursor=no --osc=no";
  // Only what the user set or the plugin remembered: nothing by default.
  const PlayerStartOptions& start = launch.Start;
  if (start.VolumeTenths >= 0) line += L" --volume=" + VolumeText(start.VolumeTenths);
  if (start.Muted) line += L" --mute=yes";
  if (start.End == AtEnd::Loop) line += L" --loop-file=inf";
  if (start.Paused) line += L" --pause=yes";
  line += L" -- ";
  line += QuoteIfSpaced(launch.FileName);
  return line;
}

std::wstring MpvFrameCommandLine(const FrameLaunch& launch) {
  std::wstring line = PlayerCommandLine(launch.PlayerPath, launch.PlayerParams);
  // Without the user's configuration (mpv.conf), and after the user's own
  // options: nothing keeps mpv running after its frame. Idling, pausing, looping
  // (the file, the playlist, an A-B loop) and keeping the file open all would,
  // until the bound.
  line += L" --no-config --no-terminal --idle=no --pause=no --keep-open=no --loop-file=no --loop-playlist=no"
          L" --ab-loop-a=no --ab-loop-b=no";
  line += L" --audio=no --ao=null --sid=no --start=10% --frames=1";
  // mpv scales the frame to fit the box itself, after the user's filters: its
  // display size (the pixels' shape applied), never enlarged, with square pixels,
  // every pixel averaged into the one it shrinks to (area). The commas inside the
  // expressions are escaped for the filter graph.
  const std::wstring width = std::to_wstring(launch.BoxWidth);
  const std::wstring height = std::to_wstring(launch.BoxHeight);
  line += L" --vf-add=lavfi=[scale=w=max(1\\,round(min(min(iw*sar\\," + width + L")\\," + height +
          L"*dar))):h=max(1\\,round(min(min(ih\\," + height + L")\\," + width + L"/dar))):flags=area,setsar=1]";
  line += L" --vo=image --vo-image-format=png --vo-image-png-compression=0";
  AppendArgument(line, L"--vo-image-outdir=", launch.ImageFolder);
  AppendArgument(line, L"", launch.FileName);
  return line;
}

std::string_view MpvIdentification::Requests() {
  return "{\"command\":[\"observe_property\",1,\"dwidth\"]}\n"
         "{\"command\":[\"observe_property\",2,\"dheight\"]}\n"
         "{\"command\":[\"observe_property\",3,\"vid\"]}\n"
         "{\"command\":[\"observe_property\",4,\"idle-active\"]}\n"
         // After the identification, for the background reader: the sound level
         // as it changes, and the end of the video, where mpv keeps its last frame
         // (unless looping) instead of ending.
         "{\"command\":[\"observe_property\",5,\"volume\"]}\n"
         "{\"command\":[\"observe_property\",6,\"mute\"]}\n"
         "{\"command\":[\"observe_property\",7,\"eof-reached\"]}\n"
         "{\"command\":[\"set_property\",\"keep-open\",\"yes\"]}\n";
}

void ReadMpvReport(std::string_view line, PlayerReport& report) {
  MpvMessage message;
  if (!ParseMpvMessage(line, message)) return;
  if (message.Event == "end-file") {
    report.Ended = message.Reason == "eof";
  } else if (message.Event == "property-change") {
    const bool flag = message.Data == MpvDataKind::Flag;
    const bool number = message.Data == MpvDataKind::Integer || message.Data == MpvDataKind::OtherNumber;
    if (message.Name == "volume" && number) report.VolumeTenths = VolumeTenthsOf(message.NumberText);
    if (message.Name == "mute" && flag) report.Muted = message.Flag;
    if (message.Name == "eof-reached" && flag) report.Ended = message.Flag;
  }
}

void MpvIdentification::OnRead(std::string_view bytes) {
  if (Done()) return;
  lines_.Feed(bytes, "\n", [this](std::string_view line) {
    OnLine(line);
    return !Done();
  });
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
