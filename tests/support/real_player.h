#pragma once
#include <windows.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

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
  // |mpv|: the relay's player is mpv, asked in its own terms.
  explicit RealPlayer(DWORD relayProcessId, bool mpv = false)
      : RealPlayer(std::to_string(relayProcessId), mpv) {}
  // The player relay-native started last, whichever relay's it was: one whose
  // relay the plugin has already ended.
  static RealPlayer Latest(bool mpv) { return RealPlayer("latest", mpv); }
  // VLC behind one relay player, asked through its remote control.
  static RealPlayer Vlc(DWORD relayProcessId) {
    RealPlayer vlc(std::to_string(relayProcessId), false);
    vlc.vlc_ = true;
    return vlc;
  }
  enum class Kind { MPlayer, Mpv, Vlc };
  static RealPlayer Of(DWORD relayProcessId, Kind kind) {
    return kind == Kind::Vlc ? Vlc(relayProcessId) : RealPlayer(relayProcessId, kind == Kind::Mpv);
  }

  bool Reachable() const { return link_.has_value(); }

  // MPlayer's answer line ("ANS_width=640") to a slave command, or mpv's reply line
  // to a JSON command; or what went wrong.
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

  // The playback position in seconds (VLC's in whole seconds); NaN when the player gave none.
  double Position() {
    return NumberOrNan(vlc_ ? Ask("get_time") : mpv_ ? MpvProperty("time-pos") : Property("time_pos"));
  }

  // Its sound level as it reads it itself (VLC's: 256 is its 100 %); NaN when the
  // player gave none (a busy player's answer can miss the relay's bound), never a
  // level of 0 that compares as a change.
  double Volume() { return NumberOrNan(vlc_ ? Ask("volume") : mpv_ ? MpvProperty("volume") : Property("volume")); }

  // What it plays: the file's name (VLC's title: the file's name for these samples).
  std::string FileName() { return vlc_ ? Ask("get_title") : mpv_ ? MpvProperty("filename") : Property("filename"); }

  bool Paused() {
    if (vlc_) return Ask("status").find("( state paused )") != std::string::npos;
    return mpv_ ? MpvProperty("pause") == "true" : Property("pause") == "yes";
  }

  // mpv: a property's value as JSON text ("61.300000", "true", "\"inf\""), or mpv's
  // whole reply when it has none.
  std::string MpvProperty(const std::string& name) {
    const std::string reply = Ask(R"({"command":["get_property",")" + name + R"("]})");
    constexpr std::string_view kData = "\"data\":";
    const size_t at = reply.find(kData);
    if (at == std::string::npos) return reply;
    const size_t from = at + kData.size();
    return reply.substr(from, reply.find_first_of(",}", from) - from);
  }

  // "running BYTES", "exited CODE REASON BYTES" or "killed BYTES", BYTES being
  // what the player has printed so far.
  std::string State() { return link_ ? link_->Ask('S', relay_) : "error: no side channel"; }

 private:
  static double NumberOrNan(const std::string& value) {
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    return end != value.c_str() ? number : std::nan("");
  }

  RealPlayer(std::string relay, bool mpv) : relay_(std::move(relay)), mpv_(mpv), link_(RelayLink::Connect()) {}

  std::string relay_;
  bool mpv_ = false;
  bool vlc_ = false;
  std::optional<RelayLink> link_;
};
