// A command channel on a loopback TCP port, which the player listens on
// (VLC's remote control). Only this machine can reach it; among its programs,
// the plugin takes the port only from a listener of the player's own, as the
// system's table of TCP listeners tells it.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>

#include <algorithm>
#include <cwchar>
#include <vector>

#include "command_channel.h"
#include "message_wait.h"

namespace {

// How long to wait before looking for the listener again: small beside a player's start.
constexpr DWORD kRetryMs = 10;

// The socket functions' use of the system's sockets library, which counts its
// users: one for each call here that needs it, and one for each connection,
// handed to it and given back by its close. Once the last view's connection has
// closed, nothing of the library is held for the host.
class WinsockUse {
 public:
  WinsockUse() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  WinsockUse(const WinsockUse&) = delete;
  WinsockUse& operator=(const WinsockUse&) = delete;
  ~WinsockUse() {
    if (started_) WSACleanup();
  }
  bool Started() const { return started_; }
  // The use goes on with a connection, whose close ends it (CloseSocket).
  void HandOver() { started_ = false; }

 private:
  bool started_ = false;
};

// Overlapped, and never inherited (WSA_FLAG_NO_HANDLE_INHERIT would need Windows 7 SP1).
SOCKET NewSocket() {
  const SOCKET made = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
  if (made != INVALID_SOCKET) SetHandleInformation(reinterpret_cast<HANDLE>(made), HANDLE_FLAG_INHERIT, 0);
  return made;
}

sockaddr_in Loopback(unsigned short port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A port free right now, as the system hands one out for port 0: no other
// view's, no other host's. The player binds it a moment later.
std::wstring NewLoopbackAddress() {
  const WinsockUse winsock;
  if (!winsock.Started()) return {};
  const SOCKET probe = NewSocket();
  if (probe == INVALID_SOCKET) return {};
  sockaddr_in address = Loopback(0);
  int size = sizeof(address);
  const bool bound = bind(probe, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
                     getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0;
  closesocket(probe);
  if (!bound) return {};
  return L"127.0.0.1:" + std::to_wstring(ntohs(address.sin_port));
}

enum class Listener { None, Players, Foreign, Untold };

// Who listens on |port| where a loopback connection would reach: on the
// loopback address or on every address. One listener not of the player's is
// enough to refuse the port. Windows names each listener's process; Wine names
// none (0, which on Windows is the idle process and never listens), and 32-bit
// Wine may give no table at all: there the port, free when chosen, is taken as
// the player's once it can be connected to.
Listener ListenerOn(unsigned short port, HANDLE player, HANDLE job) {
  std::vector<unsigned char> table(16 * 1024);
  for (int tries = 0; tries < 4; ++tries) {
    auto size = static_cast<DWORD>(table.size());
    const DWORD result = GetExtendedTcpTable(table.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_LISTENER, 0);
    if (result == ERROR_INSUFFICIENT_BUFFER) {
      table.resize(size + 4096);
      continue;
    }
    if (result != NO_ERROR) return Listener::Untold;
    const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
    Listener found = Listener::None;
    for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
      const MIB_TCPROW_OWNER_PID& row = rows->table[i];
      const bool reached = row.dwLocalAddr == htonl(INADDR_LOOPBACK) || row.dwLocalAddr == htonl(INADDR_ANY);
      if (!reached || ntohs(static_cast<u_short>(row.dwLocalPort)) != port) continue;
      if (row.dwOwningPid != 0 && !IsPlayersProcess(row.dwOwningPid, player, job)) return Listener::Foreign;
      found = Listener::Players;
    }
    return found;
  }
  return Listener::Untold;
}

HANDLE ConnectedSocket(unsigned short port) {
  const SOCKET connection = NewSocket();
  if (connection == INVALID_SOCKET) return nullptr;
  const BOOL noDelay = TRUE;  // commands are single short lines; each should leave at once
  setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
  const sockaddr_in address = Loopback(port);
  if (connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
    closesocket(connection);
    return nullptr;
  }
  // An overlapped socket is a file handle: the pipes' reads and writes work on it.
  return reinterpret_cast<HANDLE>(connection);
}

unsigned short PortOf(const std::wstring& address) {
  const unsigned long port = std::wcstoul(address.c_str() + address.find_last_of(L':') + 1, nullptr, 10);
  return port > 0 && port <= 65535 ? static_cast<unsigned short>(port) : 0;
}

// Connects only once the player listens: no refused connection to wait out
// (Windows tries a refused one again for about a second).
ChannelConnection ConnectToPort(const std::wstring& address, HANDLE player, HANDLE job, ULONGLONG deadlineTick) {
  const unsigned short port = PortOf(address);
  const HANDLE watched[] = {player};
  WinsockUse winsock;
  for (;;) {
    const Listener listener = port != 0 && winsock.Started() ? ListenerOn(port, player, job) : Listener::None;
    if (listener == Listener::Foreign) return {nullptr, ChannelFailure::ForeignServer};
    if (listener == Listener::Players || listener == Listener::Untold) {
      if (const HANDLE connection = ConnectedSocket(port)) {
        winsock.HandOver();
        return {connection};
      }
    }
    const int waited = WaitAnsweringSentMessages(watched, std::min(deadlineTick, DeadlineAfter(kRetryMs)));
    if (waited == 0) return {nullptr, ChannelFailure::PlayerEnded};
    if (waited != kWaitTimedOut || GetTickCount64() >= deadlineTick) return {nullptr, ChannelFailure::TimedOut};
  }
}

// The connection's end, and its use of the sockets library with it.
void CloseSocket(HANDLE connection) {
  closesocket(reinterpret_cast<SOCKET>(connection));
  WSACleanup();
}

bool WatchSocket(HANDLE connection, HANDLE event) {
  const long events = event != nullptr ? FD_READ | FD_CLOSE : 0;
  return WSAEventSelect(reinterpret_cast<SOCKET>(connection), event, events) == 0;
}

// A watched socket is non-blocking (WSAEventSelect makes it so, even when it
// stops the watching), so this never waits. Always a recv, never a look first:
// a recv, even one that finds nothing, is what has the system report the
// socket's next bytes or its end (under Wine, a look does not).
bool TakeFromSocket(HANDLE connection, char* buffer, DWORD size, DWORD& got) {
  got = 0;
  const int received = recv(reinterpret_cast<SOCKET>(connection), buffer, static_cast<int>(size), 0);
  if (received > 0) got = static_cast<DWORD>(received);
  return received > 0 || (received < 0 && WSAGetLastError() == WSAEWOULDBLOCK);
}

const ReadyReads kSocketReads = {WatchSocket, TakeFromSocket};

}  // namespace

const CommandChannel kLoopbackChannel = {NewLoopbackAddress, ConnectToPort, CloseSocket, &kSocketReads};
