#pragma once
#include <windows.h>

#include <string>
#include <string_view>

// The server end of a player's control pipe, served as mpv serves it: a named
// pipe for one client, overlapped so that a read may wait on one thread while a
// write goes on from another. For the stand-in player and the relay player.
class ControlPipeServer {
 public:
  explicit ControlPipeServer(const std::wstring& name);
  ControlPipeServer(const ControlPipeServer&) = delete;
  ControlPipeServer& operator=(const ControlPipeServer&) = delete;
  ~ControlPipeServer();

  bool Served() const { return pipe_ != INVALID_HANDLE_VALUE; }
  // Waits until the client has connected; false when none can. |beforeWrites|, if
  // given, runs once it has, before any Write goes to the client.
  bool AwaitClient(void (*beforeWrites)() = nullptr);
  // One read, waited for; false once the client has gone.
  bool Read(char* buffer, DWORD size, DWORD& got);
  // All of |bytes|, once the client has connected; waits while the pipe is full,
  // as mpv's writes do.
  bool Write(std::string_view bytes);

 private:
  // Waits for one overlapped operation that |started| began.
  bool Finish(BOOL started, OVERLAPPED& pending, DWORD& transferred);

  HANDLE pipe_ = INVALID_HANDLE_VALUE;
  HANDLE connected_ = nullptr;
};
