#include "control_pipe_server.h"

namespace {

constexpr DWORD kBufferSize = 4096;  // as mpv's

}  // namespace

ControlPipeServer::ControlPipeServer(const std::wstring& name)
    : pipe_(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                             PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, kBufferSize, kBufferSize, 0, nullptr)),
      connected_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

ControlPipeServer::~ControlPipeServer() {
  if (Served()) CloseHandle(pipe_);
  CloseHandle(connected_);
}

bool ControlPipeServer::Finish(BOOL started, OVERLAPPED& pending, DWORD& transferred) {
  // Done at once or later, the result comes the same way.
  const bool done = (started || GetLastError() == ERROR_IO_PENDING) &&
                    GetOverlappedResult(pipe_, &pending, &transferred, TRUE);
  CloseHandle(pending.hEvent);
  return done;
}

bool ControlPipeServer::AwaitClient(void (*beforeWrites)()) {
  if (!Served()) return false;
  OVERLAPPED pending{};
  pending.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  DWORD ignored = 0;
  const BOOL started = ConnectNamedPipe(pipe_, &pending);
  bool connected = false;
  if (!started && GetLastError() == ERROR_PIPE_CONNECTED) {  // it came before we waited for it
    CloseHandle(pending.hEvent);
    connected = true;
  } else {
    connected = Finish(started, pending, ignored);
  }
  if (connected) {
    if (beforeWrites != nullptr) beforeWrites();
    SetEvent(connected_);
  }
  return connected;
}

bool ControlPipeServer::Read(char* buffer, DWORD size, DWORD& got) {
  got = 0;
  OVERLAPPED pending{};
  pending.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return Finish(ReadFile(pipe_, buffer, size, nullptr, &pending), pending, got) && got > 0;
}

bool ControlPipeServer::Write(std::string_view bytes) {
  WaitForSingleObject(connected_, INFINITE);
  for (size_t done = 0; done < bytes.size();) {
    OVERLAPPED pending{};
    pending.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD written = 0;
    const BOOL started =
        WriteFile(pipe_, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), nullptr, &pending);
    if (!Finish(started, pending, written) || written == 0) return false;
    done += written;
  }
  return true;
}
