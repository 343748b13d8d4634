#pragma once
#include <winsock2.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// One loopback TCP connection to tools/relay-native, the Linux side that runs the
// real player. Loopback TCP rather than named FIFOs: one connection carries both
// directions and ends by itself when either process goes (even when it is
// terminated), and needs no files set up per player.
//
// Everything on it travels in frames: a type byte, the payload's length (4 bytes,
// little-endian) and the payload.
//   relay -> native   'H' hello: the relay's process id, NUL, the program ("mplayer" or
//                         "mpv"), NUL, then each of its arguments (UTF-8) followed by NUL
//                     'I' bytes the plugin wrote to the player's standard input
//                     'E' the plugin closed the player's standard input
//                     'C' bytes the plugin wrote on mpv's control pipe
//   native -> relay   'O' bytes the player wrote to its standard output or error
//                     'K' bytes mpv wrote on its control socket, for the plugin's pipe
//                     'X' the player has ended: its exit code, in decimal
//   side channel      'A' ask: a relay's process id, NUL, one command line: MPlayer's is a
//                         slave command, answered 'R' with the first "ANS_" line the player
//                         prints after it; mpv's is a JSON command sent on a connection of
//                         the side channel's own, answered 'R' with mpv's reply line
//                     'S' state of a relay's player: its process id (or "latest": the
//                         player started last); answered 'R'
//                         "running BYTES", "exited CODE REASON BYTES" or "killed BYTES"
//                         (BYTES: what it has printed; REASON: MPlayer's last ID_EXIT value,
//                         or mpv's reason for "Exiting...", blanks as "-")
class RelayLink {
 public:
  // Connects to the port that tools/relay-native gives its children in
  // REELPANE_RELAY_PORT. |receiveBufferBytes| > 0 shrinks the receive buffer.
  static std::optional<RelayLink> Connect(int receiveBufferBytes = 0);

  RelayLink(RelayLink&& other) noexcept;
  RelayLink& operator=(RelayLink&&) = delete;
  RelayLink(const RelayLink&) = delete;
  RelayLink& operator=(const RelayLink&) = delete;
  ~RelayLink();

  bool Send(char type, std::string_view payload);
  // False once the connection has ended.
  bool Receive(char& type, std::string& payload);

  // Side channel: one question, one answer ("" when the connection failed).
  std::string Ask(char type, std::string_view payload);

 private:
  explicit RelayLink(SOCKET socket) : socket_(socket) {}
  bool ReceiveExactly(char* buffer, std::uint32_t size);

  SOCKET socket_ = INVALID_SOCKET;
};
