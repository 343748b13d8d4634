#pragma once
#include <windows.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "relay_link.h"
#include "test_workspace.h"

// A sample of tools/make-samples, in the folder the real-player scenes name in
// REELPANE_SAMPLES.
inline std::wstring SamplePath(const char* name) {
  const char* folder = std::getenv("REELPANE_SAMPLES");
  return JoinPath(WindowsPathOf(folder != nullptr ? folder : ""), FromUtf8(name));
}

// The real player behind one relay player (tools/relay_player), asked through
// tools/relay-native's side channel, never through the plugin.
class RealPlayer {
 public:
  explicit RealPlayer(DWORD relayProcessId)
      : relay_(std::to_string(relayProcessId)), link_(RelayLink::Connect()) {}

  bool Reachable() const { return link_.has_value(); }

  // The player's answer line ("ANS_width=640") to |command|, or what went wrong.
  std::string Ask(const std::string& command) {
    return link_ ? link_->Ask('A', relay_ + '\0' + command) : "error: no side channel";
  }

  // A property's value. In slave mode a plain command unpauses the player; this
  // one keeps it as it is.
  std::string Property(const std::string& name) {
    const std::string answer = Ask("pausing_keep_force get_property " + name);
    const std::string prefix = "ANS_" + name + "=";
    return answer.rfind(prefix, 0) == 0 ? answer.substr(prefix.size()) : answer;
  }

  // The playback position in seconds; NaN when the player gave none.
  double Position() {
    const std::string value = Property("time_pos");
    char* end = nullptr;
    const double seconds = std::strtod(value.c_str(), &end);
    return end != value.c_str() ? seconds : std::nan("");
  }

  // "running BYTES", "exited CODE REASON BYTES" or "killed BYTES", BYTES being
  // what the player has printed so far.
  std::string State() { return link_ ? link_->Ask('S', relay_) : "error: no side channel"; }

 private:
  std::string relay_;
  std::optional<RelayLink> link_;
};
