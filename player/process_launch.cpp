#include "process_launch.h"

#include "inherited_handles.h"
#include "player_job.h"

namespace {

// Creates the player's process with the two handles as its standard handles, and
// only those inherited. |flags| adds to the creation flags. The error, or NO_ERROR.
DWORD CreatePlayerProcess(std::wstring& commandLine, HANDLE standardInput, HANDLE standardOutput, DWORD flags,
                         PROCESS_INFORMATION& started) {
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof(startup.StartupInfo);
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = standardInput;
  startup.StartupInfo.hStdOutput = standardOutput;
  startup.StartupInfo.hStdError = standardOutput;
  // Only the player's own two ends go to it: the host's other threads may hold
  // inheritable handles of their own this very moment (a helper's output pipe),
  // and a player holding a copy would keep them open for as long as it plays.
  const InheritedHandles inherited({standardInput, standardOutput});
  flags |= DETACHED_PROCESS;
  if (inherited.List() != nullptr) {
    startup.StartupInfo.cb = sizeof(startup);
    startup.lpAttributeList = inherited.List();
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  }
  const bool created = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                      &startup.StartupInfo, &started) != FALSE;
  return created ? NO_ERROR : GetLastError();
}

}  // namespace

std::optional<LaunchedProcess> LaunchPlayerProcess(std::wstring commandLine, HANDLE standardInput,
                                                   HANDLE standardOutput) {
  LaunchedProcess launched;
  launched.Job.Reset(CreatePlayerJob());
  // Suspended until it is in the job, so that it can't start anything outside it first.
  const DWORD flags = launched.Job.IsValid() ? CREATE_SUSPENDED : 0;
  PROCESS_INFORMATION started{};
  DWORD error = CreatePlayerProcess(commandLine, standardInput, standardOutput, flags, started);
  // Under Wine a start fails now and then, on a busy machine, with an internal
  // error (seen: once in a few thousand starts): the new process died before it
  // ran a line of its own. That start is made once more; any other failure (no
  // such program, ...) stands.
  if (error == ERROR_INTERNAL_ERROR) {
    error = CreatePlayerProcess(commandLine, standardInput, standardOutput, flags, started);
  }
  if (error != NO_ERROR) return std::nullopt;
  launched.Process.Reset(started.hProcess);
  const AutoCloseHandle thread(started.hThread);
  if (launched.Job.IsValid()) {
    if (!AssignProcessToJobObject(launched.Job.Get(), launched.Process.Get())) launched.Job.Reset();
    ResumeThread(thread.Get());
  }
  return launched;
}
