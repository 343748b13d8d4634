#include "frame_grab.h"

#include <algorithm>

#include "frame_command.h"
#include "mpv_dialect.h"
#include "message_wait.h"
#include "player_pipes.h"
#include "process_launch.h"

namespace {

constexpr DWORD kReadSize = 4096;
constexpr size_t kOutputCap = 64 * 1024;  // the probe's lines come first; a flood after them is dropped
// After termination: the player's files can be removed only once it is gone, and
// the call's bound keeps this much for it.
constexpr DWORD kTerminationWaitMs = 500;

struct PlayerRun {
  bool EndedByItself = false;
  std::string Output;  // what it printed, up to kOutputCap bytes
};

void EndEverything(const LaunchedProcess& launched) {
  constexpr UINT kTerminatedCode = static_cast<UINT>(-1);
  if (!launched.Job.IsValid() || !TerminateJobObject(launched.Job.Get(), kTerminatedCode)) {
    TerminateProcess(launched.Process.Get(), kTerminatedCode);
  }
  WaitForSingleObject(launched.Process.Get(), kTerminationWaitMs);
}

// Runs one command line to its end, reading what it prints (a player whose
// output nobody reads would stop at its next write), or until the deadline.
PlayerRun RunPlayer(const std::wstring& commandLine, ULONGLONG deadlineTick) {
  PlayerRun run;
  PlayerPipes pipes = CreatePlayerPipes();
  const std::optional<LaunchedProcess> launched =
      LaunchPlayerProcess(commandLine, pipes.CommandRead.Get(), pipes.OutputWrite.Get());
  if (!launched) return run;
  pipes.OutputWrite.Reset();
  pipes.CommandRead.Reset();
  pipes.CommandWrite.Reset();  // it gets no commands: its standard input ends at once

  const AutoCloseHandle readDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  char buffer[kReadSize];
  DWORD got = 0;
  // A player that writes faster than we read never lets a read wait: the
  // deadline is looked at between reads too.
  while (readDone.IsValid() && GetTickCount64() < deadlineTick &&
         ReadPipe(pipes.OutputRead.Get(), launched->Process.Get(), readDone.Get(), buffer, kReadSize, got,
                  deadlineTick) == ReadOutcome::Data) {
    run.Output.append(buffer, std::min<size_t>(got, kOutputCap - std::min(kOutputCap, run.Output.size())));
  }
  // Its output may end before it does.
  const HANDLE process[] = {launched->Process.Get()};
  run.EndedByItself = WaitAnsweringSentMessages(process, deadlineTick) == 0;
  if (!run.EndedByItself) EndEverything(*launched);
  return run;
}

// The folder by a name MPlayer can use: as it is, or by its short name.
std::optional<std::wstring> MPlayerFolder(const TemporaryFolder& folder) {
  if (MPlayerCanWriteInto(folder.Path())) return folder.Path();
  std::wstring shortPath = folder.ShortPath();
  if (MPlayerCanWriteInto(shortPath)) return shortPath;
  return std::nullopt;
}

}  // namespace

std::optional<std::wstring> GrabFrame(const PluginSettings& settings, const std::wstring& fileName,
                                      const TemporaryFolder& folder, ULONGLONG deadlineTick) {
  std::wstring commandLine;
  if (settings.Player == PlayerKind::Mpv) {
    commandLine = MpvFrameCommandLine({settings.PlayerPath, settings.PlayerParams, fileName, folder.Path()});
  } else {
    const std::optional<std::wstring> outdir = MPlayerFolder(folder);
    if (!outdir) return std::nullopt;  // nowhere MPlayer could name its image
    const FrameLaunch launch{settings.PlayerPath, settings.PlayerParams, fileName, *outdir};
    const PlayerRun probe = RunPlayer(MPlayerProbeCommandLine(launch), deadlineTick);
    const ProbedVideo video = ReadProbeOutput(probe.Output);
    // Audio alone, or nothing the player can play: no second run.
    if (!probe.EndedByItself || !video.HasVideo) return std::nullopt;
    commandLine = MPlayerFrameCommandLine(launch, FrameSeekTenths(video.LengthSeconds));
  }
  if (!RunPlayer(commandLine, deadlineTick).EndedByItself) return std::nullopt;
  std::wstring image = folder.Path() + L"\\" + std::wstring(kFrameImageName);
  if (GetFileAttributesW(image.c_str()) == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  return image;
}
