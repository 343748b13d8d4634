#include "player_job.h"

HANDLE CreatePlayerJob() {
#if defined(REELPANE_WITHOUT_PLAYER_JOB)
  return nullptr;
#else
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job == nullptr) return nullptr;
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  // A player that crashes (on a damaged file, say) ends at once, as if it had
  // exited: the system forces every process in the job into the error mode
  // without the fault dialog, so no "stopped working" box waits for the user, in
  // a thumbnail view once per file. The launcher's child too: the job holds it.
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  if (!SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
    CloseHandle(job);
    return nullptr;
  }
  return job;
#endif
}
