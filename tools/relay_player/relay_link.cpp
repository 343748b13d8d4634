#include "relay_link.h"

#include <ws2tcpip.h>

#include <cstdlib>
#include <utility>

namespace {

bool StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

std::optional<unsigned short> RelayPort() {
  const char* text = std::getenv("REELPANE_RELAY_PORT");
  if (text == nullptr) return std::nullopt;
  const unsigned long port = std::strtoul(text, nullptr, 10);
  if (port == 0 || port > 65535) return std::nullopt;
  return static_cast<unsigned short>(port);
}

}  // namespace

std::optional<RelayLink> RelayLink::Connect(int receiveBufferBytes) {
  const std::optional<unsigned short> port = RelayPort();
  if (!port || !StartWinsock()) return std::nullopt;
  SOCKET connection = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (connection == INVALID_SOCKET) return std::nullopt;
  RelayLink link(connection);
  if (receiveBufferBytes > 0) {
    setsockopt(connection, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&receiveBufferBytes),
               sizeof(receiveBufferBytes));
  }
  const BOOL noDelay = TRUE;  // commands are single short lines; each should leave at once
  setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof(noDelay));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(*port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) return std::nullopt;
  return link;
}

RelayLink::RelayLink(RelayLink&& other) noexcept : socket_(std::exchange(other.socket_, INVALID_SOCKET)) {}

RelayLink::~RelayLink() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
}

bool RelayLink::Send(char type, std::string_view payload) {
  std::string frame(1, type);
  const auto size = static_cast<std::uint32_t>(payload.size());
  for (int shift = 0; shift < 32; shift += 8) frame += static_cast<char>((size >> shift) & 0xFF);
  frame += payload;
  for (size_t sent = 0; sent < frame.size();) {
    const int count = send(socket_, frame.data() + sent, static_cast<int>(frame.size() - sent), 0);
    if (count <= 0) return false;
    sent += static_cast<size_t>(count);
  }
  return true;
}

bool RelayLink::ReceiveExactly(char* buffer, std::uint32_t size) {
  for (std::uint32_t got = 0; got < size;) {
    const int count = recv(socket_, buffer + got, static_cast<int>(size - got), 0);
    if (count <= 0) return false;
    got += static_cast<std::uint32_t>(count);
  }
  return true;
}

bool RelayLink::Receive(char& type, std::string& payload) {
  unsigned char header[5];
  if (!ReceiveExactly(reinterpret_cast<char*>(header), sizeof(header))) return false;
  type = static_cast<char>(header[0]);
  const std::uint32_t size = header[1] | header[2] << 8 | header[3] << 16 | static_cast<std::uint32_t>(header[4]) << 24;
  payload.resize(size);
  return ReceiveExactly(payload.data(), size);
}

std::string RelayLink::Ask(char type, std::string_view payload) {
  char answerType = 0;
  std::string answer;
  if (!Send(type, payload) || !Receive(answerType, answer) || answerType != 'R') return {};
  return answer;
}
