#pragma once
#include <windows.h>

#include <string>

#include "output_reader.h"

// A command channel that a player serves itself, instead of reading commands on
// its standard input: the plugin chooses its address for each view (a pipe's
// name, a loopback port), the player is told it on its command line
// (PlayerLaunch::CommandChannel) and makes it some time after its start, and the
// plugin connects to it as a client. The connection is the view's command pipe:
// commands are written to it, and what the player writes there is read, first by
// the identification, then by a background reader for the rest of the view.

// Why there is no connection.
enum class ChannelFailure {
  None,
  ForeignServer,  // another process than the player serves that address
  TimedOut,       // the player had not served it by the deadline
  PlayerEnded,    // the player ended without serving it
};

struct ChannelConnection {
  HANDLE Handle = nullptr;  // ours, overlapped; null when there is none
  ChannelFailure Failure = ChannelFailure::None;
};

struct CommandChannel {
  // An address no other view's channel has.
  std::wstring (*NewAddress)();
  // Connects to |address| once the player serves it: looks again every few
  // milliseconds until |deadlineTick| or until |player| ends, answering messages
  // sent to this thread meanwhile. Only the player's own channel is taken, one
  // that IsPlayersProcess serves: anyone may make a pipe of any name, or listen
  // on any port. The handle is overlapped, so that a read may wait while a
  // command is written.
  ChannelConnection (*Connect)(const std::wstring& address, HANDLE player, HANDLE job, ULONGLONG deadlineTick);
  // Closes a connection Connect made (a socket is not closed as a handle is).
  void (*Close)(HANDLE connection);
  // How the background reader reads a connection that is no pipe; null for a pipe.
  const ReadyReads* Ready = nullptr;
};

// Whether the process |processId| is the player's own: |player| itself, or, when
// it has a |job|, any process in that job. A launcher (a package manager's shim,
// mpv's own mpv.com) starts the real player, which serves the channel, as a child
// in the job. Without a job, only |player| itself.
bool IsPlayersProcess(DWORD processId, HANDLE player, HANDLE job);

// A Windows named pipe ("\\.\pipe\reelpane-..."). The connection lets the
// player identify us but not act as us.
extern const CommandChannel kNamedPipeChannel;

// A TCP port on the loopback address ("127.0.0.1:PORT"), free when chosen, that
// the player listens on; taken only from a listener of the player's own. The
// connection is an overlapped socket, read and written as a pipe.
extern const CommandChannel kLoopbackChannel;
