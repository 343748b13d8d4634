#include "message_wait.h"

namespace {

void AnswerSentMessages() {
  MSG message;
  // Peeking with PM_QS_SENDMESSAGE delivers the sent messages and takes nothing from the queue.
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

DWORD RemainingMilliseconds(ULONGLONG deadlineTick) {
  const ULONGLONG now = GetTickCount64();
  return now >= deadlineTick ? 0 : static_cast<DWORD>(deadlineTick - now);
}

}  // namespace

ULONGLONG DeadlineAfter(DWORD milliseconds) { return GetTickCount64() + milliseconds; }

int WaitAnsweringSentMessages(std::span<const HANDLE> handles, ULONGLONG deadlineTick) {
  const DWORD count = static_cast<DWORD>(handles.size());
  for (;;) {
    AnswerSentMessages();
    const DWORD result =
        MsgWaitForMultipleObjects(count, handles.data(), FALSE, RemainingMilliseconds(deadlineTick), QS_SENDMESSAGE);
    if (result < WAIT_OBJECT_0 + count) return static_cast<int>(result - WAIT_OBJECT_0);
    // A message was sent to us. A steady stream of them must not stretch the deadline.
    if (result == WAIT_OBJECT_0 + count) {
      if (GetTickCount64() < deadlineTick) continue;
      return kWaitTimedOut;
    }
    return result == WAIT_TIMEOUT ? kWaitTimedOut : kWaitFailed;
  }
}

std::optional<std::uint32_t> ExitCodeBy(HANDLE process, ULONGLONG deadlineTick) {
  const HANDLE watched[] = {process};
  DWORD code = 0;
  if (WaitAnsweringSentMessages(watched, deadlineTick) != 0 || !GetExitCodeProcess(process, &code)) {
    return std::nullopt;
  }
  return code;
}
