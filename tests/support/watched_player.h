#pragma once
#include <windows.h>

#include <utility>

#include "player_context.h"

// The player of an open view, watched through a copy of the plugin's own process
// handle. A process id is no proof: Wine soon gives an ended player's id to a new
// process, perhaps another test's player.
class WatchedPlayer {
 public:
  explicit WatchedPlayer(HWND view) {
    const auto* context = view != nullptr
                              ? reinterpret_cast<const PlayerContext*>(GetWindowLongPtrW(view, GWLP_USERDATA))
                              : nullptr;
    if (context == nullptr || context->Process == nullptr) return;
    DuplicateHandle(GetCurrentProcess(), context->Process, GetCurrentProcess(), &process_,
                    SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, 0);
  }
  WatchedPlayer(const WatchedPlayer&) = delete;
  WatchedPlayer& operator=(const WatchedPlayer&) = delete;
  ~WatchedPlayer() {
    if (process_ != nullptr) CloseHandle(process_);
  }

  bool Watching() const { return process_ != nullptr; }
  bool Running() const { return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT; }
  // Whether it has ended, waiting up to |milliseconds| for it.
  bool Ended(DWORD milliseconds) const {
    return process_ != nullptr && WaitForSingleObject(process_, milliseconds) == WAIT_OBJECT_0;
  }
  DWORD ProcessId() const { return process_ != nullptr ? GetProcessId(process_) : 0; }
  // When the process was created and when it ended (100 ns units of the system
  // time); 0 when not known, or not ended.
  ULONGLONG CreationTime() const { return Times().first; }
  ULONGLONG ExitTime() const { return Times().second; }
  DWORD ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_ != nullptr) GetExitCodeProcess(process_, &code);
    return code;
  }

 private:
  static ULONGLONG Ticks(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  }
  std::pair<ULONGLONG, ULONGLONG> Times() const {
    FILETIME created{}, exited{}, kernel{}, user{};
    if (process_ == nullptr || !GetProcessTimes(process_, &created, &exited, &kernel, &user)) return {0, 0};
    return {Ticks(created), Ended(0) ? Ticks(exited) : 0};
  }

  HANDLE process_ = nullptr;
};
