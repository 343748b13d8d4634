#pragma once
#include <windows.h>

#include <string>
#include <string_view>

// The server end of a player's control pipe, served as mpv serves it: a named
// pipe for one client, overlapped so that a read may wait on one thread while a
// write goes on from another. For the stand-in player and the relay player.
// A name "127.0.0.1:PORT" is served as VLC serves its remote control instead:
// a loopback TCP port, listened on from the start, for one client.
class ControlPipeServer {
 public:
  explicit ControlPipeServer(const std::wstring& name);
  ControlPipeServer(const ControlPipeServer&) = delete;
  ControlPipeServer& operator=(const ControlPipeServer&) = delete;
  ~ControlPipeServer();

  bool Served() const { return pipe_ != INVALID_HANDLE_VALUE || listener_ != ~UINT_PTR{0}; }
  // Waits until the client has connected; false when none can. |beforeWrites|, if
  // given, runs once it has, before any Write goes to the client.
  bool AwaitClient(void (*beforeWrites)() = nullptr);
  // One read, waited for; false once the client has gone.
  bool Read(char* buffer, DWORD size, DWORD& got);
  // All of |bytes|, once the client has connected; waits while the pipe is full,
  // as mpv's writes do.
  bool Write(std::string_view bytes);
  // Ends the port's connection (VLC's "quit" does so); the process goes on.
  void Disconnect();

 private:
  // Waits for one overlapped operation that |started| began.
  bool Finish(BOOL started, OVERLAPPED& pending, DWORD& transferred);

  HANDLE pipe_ = INVALID_HANDLE_VALUE;  // the pipe, or the port's client once it has connected
  UINT_PTR listener_ = ~UINT_PTR{0};    // the port's listening socket
  HANDLE connected_ = nullptr;
};
