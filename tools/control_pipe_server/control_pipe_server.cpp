#include <winsock2.h>

#include "control_pipe_server.h"

#include <cwchar>

namespace {

constexpr DWORD kBufferSize = 4096;  // as mpv's

// "127.0.0.1:PORT": the port; 0 for a pipe's name.
unsigned short LoopbackPort(const std::wstring& name) {
  constexpr std::wstring_view kLoopback = L"127.0.0.1:";
  if (!name.starts_with(kLoopback)) return 0;
  return static_cast<unsigned short>(std::wcstoul(name.c_str() + kLoopback.size(), nullptr, 10));
}

// A listening overlapped socket on the loopback port, or ~0 when it can't be had.
UINT_PTR ListenOn(unsigned short port) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return INVALID_SOCKET;
  const SOCKET listener = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
  if (listener == INVALID_SOCKET) return INVALID_SOCKET;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 || listen(listener, 1) != 0) {
    closesocket(listener);
    return INVALID_SOCKET;
  }
  return listener;
}

}  // namespace

ControlPipeServer::ControlPipeServer(const std::wstring& name)
    : connected_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (const unsigned short port = LoopbackPort(name)) {
    listener_ = ListenOn(port);
  } else {
    pipe_ = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                             PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, kBufferSize, kBufferSize, 0, nullptr);
  }
}

ControlPipeServer::~ControlPipeServer() {
  if (listener_ != INVALID_SOCKET) {
    if (pipe_ != INVALID_HANDLE_VALUE) closesocket(reinterpret_cast<SOCKET>(pipe_));
    closesocket(listener_);
  } else if (pipe_ != INVALID_HANDLE_VALUE) {
    CloseHandle(pipe_);
  }
  CloseHandle(connected_);
}

void ControlPipeServer::Disconnect() {
  if (listener_ != INVALID_SOCKET && pipe_ != INVALID_HANDLE_VALUE) shutdown(reinterpret_cast<SOCKET>(pipe_), SD_BOTH);
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
  if (listener_ != INVALID_SOCKET) {
    const SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET) return false;
    const BOOL noDelay = TRUE;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
    pipe_ = reinterpret_cast<HANDLE>(client);  // overlapped, as its listener: read and written as the pipe is
    if (beforeWrites != nullptr) beforeWrites();
    SetEvent(connected_);
    return true;
  }
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
