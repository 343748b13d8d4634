#include "player_process.h"

#include <algorithm>
#include <utility>

#include "command_line.h"
#include "message_wait.h"
#include "mpv_identify_reader.h"
#include "output_reader.h"
#include "player_pipes.h"
#include "process_launch.h"
#include "text_codec.h"

namespace {

constexpr DWORD kDrainChunk = 1024;

void WarnCannotStart(std::wstring_view playerPath) {
  const std::wstring text = L"Cannot create process: " + std::wstring(playerPath);
  MessageBoxW(nullptr, text.c_str(), L"reelpane", MB_OK | MB_ICONWARNING);
}

bool NoControlPipeWarned = false;

}  // namespace

std::optional<PlayerContext> StartPlayer(const PlayerStart& start) {
  const PlayerDialect& dialect = DialectOf(start.Player);
  PlayerPipes pipes = CreatePlayerPipes(dialect.ServesControlPipe ? PlayerInput::Empty : PlayerInput::CommandPipe);
  const auto viewWindow = reinterpret_cast<std::uintptr_t>(start.ViewWindow);
  const std::wstring viewHandle = ViewHandleText(viewWindow);
  std::wstring commandLine = dialect.CommandLine(
      {start.PlayerPath, start.PlayerParams, start.Embedded, viewHandle, start.FileName, start.ControlPipe, viewWindow});

  std::optional<LaunchedProcess> launched =
      LaunchPlayerProcess(std::move(commandLine), pipes.CommandRead.Get(), pipes.OutputWrite.Get());
  if (!launched) {
    WarnCannotStart(start.PlayerPath);
    return std::nullopt;
  }
  // The player holds its own copies of its ends.
  pipes.OutputWrite.Reset();
  pipes.CommandRead.Reset();

  PlayerContext context;
  context.Process = launched->Process.Release();
  context.CommandPipe = pipes.CommandWrite.Release();
  context.OutputPipe = pipes.OutputRead.Release();
  context.Running = true;
  context.Job = launched->Job.Release();
  context.Player = start.Player;
  return context;
}

IdentifyOutcome IdentifyPlayer(PlayerContext& context, const std::wstring& controlPipe) {
  if (!DialectOf(context.Player).ServesControlPipe) {
    return {ReadVideoSize(context.OutputPipe, context.Process, kIdentifyBoundMs, OutputReaderEvent(context.Reader))};
  }
  // No identification read on the output pipe leaves the reader's event set:
  // set here, it has the reader's start issue the first read.
  if (const HANDLE outputRead = OutputReaderEvent(context.Reader); outputRead != nullptr) SetEvent(outputRead);
  return ReadMpvIdentification(context, controlPipe);
}

void WarnNoControlPipeOnce(std::wstring_view playerPath) {
  if (std::exchange(NoControlPipeWarned, true)) return;
  const std::wstring text =
      L"mpv did not open its control pipe: " + std::wstring(playerPath) +
      L"\n\nreelpane needs mpv 0.17 or later, and no option in MPlayer_params that mpv does not know.\n\n"
      L"Shown once: until Total Commander restarts, such files go to Lister's other viewers.";
  MessageBoxW(nullptr, text.c_str(), L"reelpane", MB_OK | MB_ICONWARNING);
}

bool SendPlayerCommand(const PlayerContext& context, std::string_view command) {
  if (context.Process == nullptr || context.CommandPipe == nullptr) return false;
  std::string line = context.CommandCut ? "\n" : "";
  line += command;
  line += '\n';
  return WritePipe(context.CommandPipe, line, DeadlineAfter(kCommandWriteBoundMs));
}

bool SendPlayerAction(const PlayerContext& context, PlayerAction action) {
  const std::string_view command = DialectOf(context.Player).Command(action);
  return !command.empty() && SendPlayerCommand(context, command);
}

bool PlayerIsTold(const PlayerContext& context, PlayerAction action) {
  return !DialectOf(context.Player).Command(action).empty();
}

std::wstring DrainPlayerOutput(HANDLE outputPipe) {
  if (!IsUsablePipe(outputPipe)) return {};
  // Only what was pending when we looked is read: anything later would be waited for.
  const DWORD pending = PipeBytesPending(outputPipe);
  std::string collected;
  DWORD total = 0;
  while (total < pending) {
    char buffer[kDrainChunk];
    const DWORD wanted = std::min(kDrainChunk, pending - total);
    DWORD got = 0;
    if (!ReadAvailable(outputPipe, buffer, wanted, got)) break;
    total += got;
    const std::string_view chunk(buffer, got);
    collected.append(chunk.substr(0, chunk.find('\0')));
    if (got < wanted) break;
  }
  return FromAnsi(collected);
}

void StopPlayer(const PlayerContext& context) {
  if (context.Running) {
    SendPlayerAction(context, PlayerAction::Quit);
    const HANDLE process[] = {context.Process};
    if (WaitAnsweringSentMessages(process, DeadlineAfter(kQuitGraceMs)) != kWaitTimedOut) return;
  }
  if (context.Process != nullptr) TerminateProcess(context.Process, static_cast<UINT>(-1));
}

void ClosePlayerHandles(const PlayerContext& context) {
  StopOutputReader(context.Reader);
  StopOutputReader(context.ControlReader);
  for (HANDLE handle : {context.OutputPipe, context.CommandPipe, context.Process, context.Job}) {
    if (handle != nullptr) CloseHandle(handle);
  }
}
