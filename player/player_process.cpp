#include "player_process.h"

#include <algorithm>

#include "command_line.h"
#include "message_wait.h"
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

}  // namespace

std::optional<PlayerContext> StartPlayer(const PlayerStart& start) {
  PlayerPipes pipes = CreatePlayerPipes();
  const std::wstring viewHandle = ViewHandleText(reinterpret_cast<std::uintptr_t>(start.ViewWindow));
  std::wstring commandLine = ComposePlayerCommandLine(
      {start.PlayerPath, start.PlayerParams, start.Embedded, viewHandle, start.FileName});

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
  return context;
}

bool SendPlayerCommand(const PlayerContext& context, std::string_view command) {
  if (context.Process == nullptr || context.CommandPipe == nullptr) return false;
  std::string line = context.CommandCut ? "\n" : "";
  line += command;
  line += '\n';
  return WritePipe(context.CommandPipe, line, DeadlineAfter(kCommandWriteBoundMs));
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
    SendPlayerCommand(context, "quit");
    const HANDLE process[] = {context.Process};
    if (WaitAnsweringSentMessages(process, DeadlineAfter(kQuitGraceMs)) != kWaitTimedOut) return;
  }
  if (context.Process != nullptr) TerminateProcess(context.Process, static_cast<UINT>(-1));
}

void ClosePlayerHandles(const PlayerContext& context) {
  StopOutputReader(context.Reader);
  for (HANDLE handle : {context.OutputPipe, context.CommandPipe, context.Process, context.Job}) {
    if (handle != nullptr) CloseHandle(handle);
  }
}
