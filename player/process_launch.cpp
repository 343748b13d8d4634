#include "process_launch.h"

#include "inherited_handles.h"
#include "player_job.h"

namespace {

// Creates the player's process with the two handles as its standard handles, and
// only those inherited. |flags| adds to the creation flags.
bool CreatePlayerProcess(std::wstring& commandLine, HANDLE standardInput, HANDLE standardOutput, DWORD flags,
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
  return CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                        &startup.StartupInfo, &started) != FALSE;
}

}  // namespace

std::optional<LaunchedProcess> LaunchPlayerProcess(std::wstring commandLine, HANDLE standardInput,
                                                   HANDLE standardOutput) {
  LaunchedProcess launched;
  launched.Job.Reset(CreatePlayerJob());
  // Suspended until it is in the job, so that it can't start anything outside it first.
  PROCESS_INFORMATION started{};
  if (!CreatePlayerProcess(commandLine, standardInput, standardOutput,
                           launched.Job.IsValid() ? CREATE_SUSPENDED : 0, started)) {
    return std::nullopt;
  }
  launched.Process.Reset(started.hProcess);
  const AutoCloseHandle thread(started.hThread);
  if (launched.Job.IsValid()) {
    if (!AssignProcessToJobObject(launched.Job.Get(), launched.Process.Get())) launched.Job.Reset();
    ResumeThread(thread.Get());
  }
  return launched;
}
