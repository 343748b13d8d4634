#include "process_launch.h"

#include <algorithm>
#include <initializer_list>
#include <memory>
#include <vector>

#include "message_wait.h"
#include "player_job.h"

namespace {

constexpr DWORD kReadSize = 4096;
constexpr size_t kOutputCap = 64 * 1024;  // a probe's lines come first; a flood after them is dropped
// After termination: a player's files can be removed only once it is gone, and
// a thumbnail's bound keeps this much for it.
constexpr DWORD kTerminationWaitMs = 500;
constexpr DWORD kJobPollMs = 5;

// The attribute list that names the only handles a new process may inherit.
// Without one, a process started with inheritance on receives every handle that
// is inheritable anywhere in the host at that moment, and keeps it while it runs.
// The handles are inheritable only while this object lives (the list requires
// it): another thread of the host that starts a program without such a list in
// that moment would take them too, so it should live just around the start.
class InheritedHandles {
 public:
  // Null handles are left out.
  explicit InheritedHandles(std::initializer_list<HANDLE> handles) {
    for (HANDLE handle : handles) {
      if (handle != nullptr && handle != INVALID_HANDLE_VALUE) handles_.push_back(handle);
    }
    if (handles_.empty()) return;  // an empty list is refused
    for (HANDLE handle : handles_) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    if (size == 0) return;
    storage_ = std::make_unique<char[]>(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.get());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return;
    if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                   handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
      DeleteProcThreadAttributeList(list);
      return;
    }
    list_ = list;
  }
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;
  ~InheritedHandles() {
    if (list_ != nullptr) DeleteProcThreadAttributeList(list_);
    for (HANDLE handle : handles_) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, 0);
  }

  // Null when the list could not be built.
  LPPROC_THREAD_ATTRIBUTE_LIST List() const { return list_; }

 private:
  std::vector<HANDLE> handles_;  // the list points at these until it is deleted
  std::unique_ptr<char[]> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// Creates the player's process with the two handles as its standard handles, and
// only those inherited. |flags| adds to the creation flags. The error, or NO_ERROR.
DWORD CreatePlayerProcess(std::wstring& commandLine, HANDLE standardInput, HANDLE standardOutput, DWORD flags,
                          const wchar_t* currentFolder, PROCESS_INFORMATION& started) {
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
  const bool created = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                      currentFolder, &startup.StartupInfo, &started) != FALSE;
  return created ? NO_ERROR : GetLastError();
}

// Starts |commandLine| with the two handles as its standard handles, the only
// ones it inherits, into |player|'s process and job.
bool Launch(std::wstring& commandLine, HANDLE standardInput, HANDLE standardOutput, const wchar_t* currentFolder,
            StartedPlayer& player) {
  player.Job.Reset(CreatePlayerJob());
  // Suspended until it is in the job, so that it can't start anything outside it first.
  const DWORD flags = player.Job.IsValid() ? CREATE_SUSPENDED : 0;
  PROCESS_INFORMATION started{};
  DWORD error = CreatePlayerProcess(commandLine, standardInput, standardOutput, flags, currentFolder, started);
  // Under Wine a start fails now and then, on a busy machine, with an internal
  // error (seen: once in a few thousand starts): the new process died before it
  // ran a line of its own. That start is made once more; any other failure (no
  // such program, ...) stands.
  if (error == ERROR_INTERNAL_ERROR) {
    error = CreatePlayerProcess(commandLine, standardInput, standardOutput, flags, currentFolder, started);
  }
  if (error != NO_ERROR) return false;
  player.Process.Reset(started.hProcess);
  const AutoCloseHandle thread(started.hThread);
  if (player.Job.IsValid()) {
    if (!AssignProcessToJobObject(player.Job.Get(), player.Process.Get())) player.Job.Reset();
    ResumeThread(thread.Get());
  }
  return true;
}

// Whether the job still holds a running process (a launcher's child that outlived it).
bool JobHasProcesses(HANDLE job) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting{};
  return QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &accounting, sizeof(accounting),
                                   nullptr) &&
         accounting.ActiveProcesses > 0;
}

// Ends the player and all it started, and waits a while for all of it to be
// gone: a process still ending may hold its files open.
void EndEverything(const StartedPlayer& player) {
  TerminatePlayer(player.Process.Get(), player.Job.Get());
  const ULONGLONG deadline = GetTickCount64() + kTerminationWaitMs;
  WaitForSingleObject(player.Process.Get(), kTerminationWaitMs);
  while (player.Job.IsValid() && JobHasProcesses(player.Job.Get()) && GetTickCount64() < deadline) {
    Sleep(kJobPollMs);
  }
}

}  // namespace

std::optional<StartedPlayer> StartPlayerProcess(std::wstring commandLine, PlayerInput input,
                                                const wchar_t* currentFolder) {
  PlayerPipes pipes = CreatePlayerPipes(input);
  StartedPlayer player;
  if (!Launch(commandLine, pipes.CommandRead.Get(), pipes.OutputWrite.Get(), currentFolder, player)) {
    return std::nullopt;
  }
  // The player holds its own copies of its ends.
  pipes.OutputWrite.Reset();
  pipes.CommandRead.Reset();
  player.CommandWrite = std::move(pipes.CommandWrite);
  player.OutputRead = std::move(pipes.OutputRead);
  return player;
}

void TerminatePlayer(HANDLE process, HANDLE job) {
  constexpr UINT kTerminatedCode = static_cast<UINT>(-1);
  if (job != nullptr && TerminateJobObject(job, kTerminatedCode)) return;
  if (process != nullptr) TerminateProcess(process, kTerminatedCode);
}

PlayerRun RunPlayer(const std::wstring& commandLine, const std::wstring& folder, ULONGLONG deadlineTick) {
  PlayerRun run;
  std::optional<StartedPlayer> player = StartPlayerProcess(commandLine, PlayerInput::CommandPipe, folder.c_str());
  if (!player) return run;
  player->CommandWrite.Reset();  // it gets no commands: its standard input ends at once

  const AutoCloseHandle readDone(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  char buffer[kReadSize];
  DWORD got = 0;
  // A player that writes faster than we read never lets a read wait: the
  // deadline is looked at between reads too.
  while (readDone.IsValid() && GetTickCount64() < deadlineTick &&
         ReadPipe(player->OutputRead.Get(), player->Process.Get(), readDone.Get(), buffer, kReadSize, got,
                  deadlineTick) == ReadOutcome::Data) {
    run.Output.append(buffer, std::min<size_t>(got, kOutputCap - std::min(kOutputCap, run.Output.size())));
  }
  // Its output may end before it does.
  const HANDLE process[] = {player->Process.Get()};
  run.EndedByItself = WaitAnsweringSentMessages(process, deadlineTick) == 0;
  if (!run.EndedByItself) EndEverything(*player);
  return run;
}
