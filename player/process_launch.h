#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "auto_close_handle.h"

struct LaunchedProcess {
  AutoCloseHandle Process;
  AutoCloseHandle Job;  // ends the process and all it started when closed; invalid where jobs are refused
};

// Starts |commandLine| as a detached player whose standard input is
// |standardInput| and whose standard output and error are |standardOutput|, the
// only handles it inherits (they are inheritable just for the start). It runs
// only once it is in a job of its own, so it can start nothing outside it.
// Nothing when the process can't be created; nothing is shown to the user here.
std::optional<LaunchedProcess> LaunchPlayerProcess(std::wstring commandLine, HANDLE standardInput,
                                                   HANDLE standardOutput);
