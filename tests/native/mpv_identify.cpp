// The plugin's identification against a live mpv, natively: connects to mpv's
// control socket (on Linux --input-ipc-server is a Unix socket), writes the
// plugin's requests, feeds what mpv answers to the plugin's own reading until it
// is done or the plugin's 5-second bound has passed, and prints
// "WIDTH HEIGHT HOW", HOW being "done", "bound" or "ended" (mpv closed the socket;
// the caller knows its exit code), or "no-socket". Used by tests/native/check_mpv.py.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "mpv_dialect.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kBound = std::chrono::milliseconds(5000);

int Connect(const char* path, Clock::time_point deadline) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path, sizeof(address.sun_path) - 1);
  while (Clock::now() < deadline) {
    const int connection = socket(AF_UNIX, SOCK_STREAM, 0);
    if (connect(connection, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) return connection;
    close(connection);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return -1;
}

}  // namespace

int main(int count, char** arguments) {
  if (count != 2) {
    std::fprintf(stderr, "usage: mpv_identify SOCKET\n");
    return 2;
  }
  const Clock::time_point deadline = Clock::now() + kBound;
  const int connection = Connect(arguments[1], deadline);
  if (connection < 0) {
    std::printf("-1 -1 no-socket\n");
    return 0;
  }
  const std::string_view requests = MpvIdentification::Requests();
  if (write(connection, requests.data(), requests.size()) != static_cast<ssize_t>(requests.size())) return 1;
  MpvIdentification identification;
  const char* how = "bound";
  while (!identification.Done() && Clock::now() < deadline) {
    pollfd waiting{connection, POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (poll(&waiting, 1, static_cast<int>(left.count())) <= 0) continue;
    char buffer[4096];
    const ssize_t got = read(connection, buffer, sizeof(buffer));
    if (got <= 0) {
      identification.OnEnded(std::nullopt);
      how = "ended";
      break;
    }
    identification.OnRead(std::string_view(buffer, static_cast<size_t>(got)));
    if (identification.Done()) how = "done";
  }
  close(connection);
  const VideoSize size = identification.Result();
  std::printf("%d %d %s\n", size.Width, size.Height, how);
  return 0;
}
