#include "player_process.h"

#include <utility>

#include "command_channel.h"
#include "message_wait.h"
#include "output_reader.h"
#include "player_pipes.h"
#include "player_watch.h"
#include "process_launch.h"

namespace {

constexpr size_t kLongestCommand = 128;  // the players' commands are a few words, a question two lines

void WarnCannotStart(std::wstring_view playerPath) {
  const std::wstring text = L"Cannot create process: " + std::wstring(playerPath);
  MessageBoxW(nullptr, text.c_str(), L"reelpane", MB_OK | MB_ICONWARNING);
}

bool NoChannelWarned = false;

IdentifyEnd EndOf(ChannelFailure failure) {
  switch (failure) {
    case ChannelFailure::ForeignServer:
      return IdentifyEnd::ChannelForeign;
    case ChannelFailure::PlayerEnded:
      return IdentifyEnd::ChannelPlayerEnded;
    case ChannelFailure::None:
    case ChannelFailure::TimedOut:
      break;
  }
  return IdentifyEnd::ChannelTimedOut;
}

// Connects to the channel the player serves, which becomes the context's command
// pipe, and reads the identification there. Its output carries none.
IdentifyOutcome IdentifyThroughChannel(PlayerContext& context, const std::wstring& channelAddress) {
  const Player& player = *context.Player;
  {
    // Nothing is read on the output pipe: its reader takes it over unread.
    const ReaderHandover unread(context.OutputPipe, context.Reader);
  }
  const ULONGLONG deadline = DeadlineAfter(kIdentifyBoundMs);
  const ChannelConnection connection = player.Channel->Connect(channelAddress, context.Process, context.Job, deadline);
  if (connection.Handle == nullptr) {
    context.Running = false;  // nothing can ask that player to quit
    // Only a player that has already ended has an exit code to tell.
    if (player.CannotPlayExitCode && ExitCodeBy(context.Process, 0) == player.CannotPlayExitCode) {
      return {IdentifyEnd::Identified, {-1, -1}};
    }
    return {EndOf(connection.Failure), {-1, -1}};
  }
  context.CommandPipe = connection.Handle;
  // The channel is read for the view's whole life from here on: its reader is made
  // now and takes over from the identification.
  context.ControlReader = PrepareOutputReader(context.CommandPipe, SinkOf(context.Watch), player.Channel->Ready);
  ReaderHandover reads(context.CommandPipe, context.ControlReader);
  if (!reads.Usable()) return {IdentifyEnd::Identified, {-1, -1}};  // nothing can be read: as a file it can't play
  return {IdentifyEnd::Identified, player.Identify(reads, context, deadline)};
}

}  // namespace

std::wstring NewChannelAddress(const Player& player) {
  return player.Channel != nullptr ? player.Channel->NewAddress() : std::wstring();
}

std::optional<PlayerContext> StartPlayer(const PlayerStart& start) {
  const Player& player = *start.Player;
  const auto viewWindow = reinterpret_cast<std::uintptr_t>(start.ViewWindow);
  const std::wstring viewHandle = ViewHandleText(viewWindow);
  std::wstring commandLine =
      player.Dialect->CommandLine({start.PlayerPath, start.PlayerParams, start.Embedded, viewHandle, start.FileName,
                                   start.CommandChannel, viewWindow, start.Options});

  std::optional<StartedPlayer> started = StartPlayerProcess(
      std::move(commandLine), player.Channel != nullptr ? PlayerInput::Empty : PlayerInput::CommandPipe);
  if (!started) {
    WarnCannotStart(start.PlayerPath.empty() ? start.LookedFor : start.PlayerPath);
    return std::nullopt;
  }
  PlayerContext context;
  context.Process = started->Process.Release();
  context.CommandPipe = started->CommandWrite.Release();
  context.OutputPipe = started->OutputRead.Release();
  context.Running = true;
  context.Job = started->Job.Release();
  context.Player = &player;
  return context;
}

IdentifyOutcome IdentifyPlayer(PlayerContext& context, const std::wstring& channelAddress) {
  if (context.Player->Channel != nullptr) return IdentifyThroughChannel(context, channelAddress);
  ReaderHandover reads(context.OutputPipe, context.Reader);
  return {IdentifyEnd::Identified, context.Player->Identify(reads, context, DeadlineAfter(kIdentifyBoundMs))};
}

void WarnNoChannelOnce(const Player& player, std::wstring_view playerPath) {
  if (std::exchange(NoChannelWarned, true)) return;
  const std::wstring text = player.NoChannelWarning(playerPath) +
                            L"\n\nShown once: until Total Commander restarts, such files go to Lister's other viewers.";
  MessageBoxW(nullptr, text.c_str(), L"reelpane", MB_OK | MB_ICONWARNING);
}

bool SendPlayerCommand(const PlayerContext& context, std::string_view command) {
  if (context.Process == nullptr || context.CommandPipe == nullptr) return false;
  // Never throws: a close's "quit" must not fail for want of memory (the grace
  // and the termination still follow).
  char line[kLongestCommand + 2];
  if (command.size() > kLongestCommand) return false;
  size_t length = 0;
  if (context.CommandCut) line[length++] = '\n';
  command.copy(line + length, command.size());
  length += command.size();
  line[length++] = '\n';
  return WritePipe(context.CommandPipe, std::string_view(line, length), DeadlineAfter(kCommandWriteBoundMs));
}

bool SendPlayerAction(const PlayerContext& context, PlayerAction action) {
  // Before the write, whose wait may let a close free the watch.
  if (action == PlayerAction::Quit && context.Watch != nullptr) context.Watch->Stopping = true;
  const std::string_view command = context.Player->Dialect->Command(action);
  return !command.empty() && SendPlayerCommand(context, command);
}

bool PlayerIsTold(const PlayerContext& context, PlayerAction action) {
  return !context.Player->Dialect->Command(action).empty();
}

bool SendStartCommands(PlayerContext& context, const PlayerStartOptions& options) {
  const PlayerDialect& dialect = *context.Player->Dialect;
  const std::string lines = dialect.StartCommands != nullptr ? dialect.StartCommands(options) : std::string();
  if (lines.empty()) return true;
  const bool whole = WritePipe(context.CommandPipe, lines, DeadlineAfter(kCommandWriteBoundMs));
  context.CommandCut = context.CommandCut || !whole;
  return whole;
}

void StopPlayer(const PlayerContext& context) {
  if (context.Watch != nullptr) context.Watch->Stopping = true;
  if (context.Running) {
    SendPlayerAction(context, PlayerAction::Quit);
    const HANDLE process[] = {context.Process};
    if (WaitAnsweringSentMessages(process, DeadlineAfter(kQuitGraceMs)) != kWaitTimedOut) return;
  }
  // The whole job: behind a launcher, the real player is its child.
  TerminatePlayer(context.Process, context.Job);
}

void ClosePlayerHandles(const PlayerContext& context) {
  StopOutputReader(context.Reader);
  StopOutputReader(context.ControlReader);
  delete context.Watch;  // no reader delivers to it any more
  if (context.OutputPipe != nullptr) CloseHandle(context.OutputPipe);
  if (context.CommandPipe != nullptr) {
    // A player's channel is closed as its kind wants; its standard input's pipe as any handle.
    const CommandChannel* channel = context.Player->Channel;
    if (channel != nullptr) channel->Close(context.CommandPipe);
    else CloseHandle(context.CommandPipe);
  }
  for (HANDLE handle : {context.Process, context.Job}) {
    if (handle != nullptr) CloseHandle(handle);
  }
}
