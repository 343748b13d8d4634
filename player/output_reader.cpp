#include "output_reader.h"

#include "auto_close_handle.h"

// A wait in the system's thread pool on the event of one pending read: a quiet
// player costs no thread of ours, no timer and no polling; a pool thread runs
// only when output has arrived. (The pool's I/O completion objects would do the
// same, but Wine leaks heap for each one a view would make.)
//
// Every read is issued from a pool callback, never from the host's thread: a
// player that writes without pause then holds nothing but a pool thread, and
// the host's open pays for one call.

namespace {

constexpr DWORD kReadSize = 64 * 1024;  // as large as the pipe's buffer: one read empties it

void CALLBACK OnOutputArrived(PTP_CALLBACK_INSTANCE, void* context, PTP_WAIT, TP_WAIT_RESULT);

}  // namespace

struct OutputReader {
  HANDLE Pipe = nullptr;
  // Signalled when a read has finished: the identification's last one has the
  // pool issue the first read here.
  AutoCloseHandle Arrived{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  PTP_WAIT Wait = nullptr;
  // Orders each read against the stop: a read is either never issued or issued
  // where the stop finds it.
  SRWLOCK Lock = SRWLOCK_INIT;
  bool Stopping = false;
  bool ReadPending = false;  // a read was issued, and nobody has taken its result yet
  OVERLAPPED Pending{};
  char Buffer[kReadSize];
};

namespace {

enum class ReadResult { None, Data, StillPending, Aborted, Ended };

// What became of the pending read, if there is one. Called with the lock held.
ReadResult CollectRead(OutputReader& reader) {
  if (!reader.ReadPending) return ReadResult::None;
  DWORD got = 0;
  if (GetOverlappedResult(reader.Pipe, &reader.Pending, &got, FALSE)) {
    reader.ReadPending = false;
    return ReadResult::Data;  // dropped: nobody needs it
  }
  const DWORD error = GetLastError();
  if (error == ERROR_IO_INCOMPLETE) return ReadResult::StillPending;
  reader.ReadPending = false;
  return error == ERROR_OPERATION_ABORTED ? ReadResult::Aborted : ReadResult::Ended;
}

// Issues the next read and has the pool wait for it, whether it completed at
// once or not (an overlapped read sets its event either way). Called with the lock held.
void IssueRead(OutputReader& reader) {
  reader.Pending = OVERLAPPED{};
  reader.Pending.hEvent = reader.Arrived.Get();
  if (!ReadFile(reader.Pipe, reader.Buffer, kReadSize, nullptr, &reader.Pending) &&
      GetLastError() != ERROR_IO_PENDING) {
    return;  // the pipe has ended: the player has gone and all it wrote has been read
  }
  reader.ReadPending = true;
  SetThreadpoolWait(reader.Wait, reader.Arrived.Get(), nullptr);
}

void CALLBACK OnOutputArrived(PTP_CALLBACK_INSTANCE, void* context, PTP_WAIT, TP_WAIT_RESULT) {
  auto& reader = *static_cast<OutputReader*>(context);
  AcquireSRWLockExclusive(&reader.Lock);
  if (!reader.Stopping) {
    switch (CollectRead(reader)) {
      case ReadResult::StillPending:
        SetThreadpoolWait(reader.Wait, reader.Arrived.Get(), nullptr);
        break;
      // A read that was called off without the stop asking for it (on Windows the
      // exit of the pool thread that issued it does that) is issued again.
      case ReadResult::None:
      case ReadResult::Data:
      case ReadResult::Aborted:
        IssueRead(reader);
        break;
      case ReadResult::Ended:
        break;
    }
  }
  ReleaseSRWLockExclusive(&reader.Lock);
}

}  // namespace

OutputReader* PrepareOutputReader(HANDLE outputPipe) {
  auto* reader = new OutputReader;
  reader->Pipe = outputPipe;
  reader->Wait = CreateThreadpoolWait(OnOutputArrived, reader, nullptr);
  if (reader->Wait == nullptr || !reader->Arrived.IsValid()) {
    if (reader->Wait != nullptr) CloseThreadpoolWait(reader->Wait);
    delete reader;
    return nullptr;
  }
  return reader;
}

HANDLE OutputReaderEvent(const OutputReader* reader) { return reader != nullptr ? reader->Arrived.Get() : nullptr; }

void StartOutputReader(OutputReader* reader) {
  if (reader != nullptr) SetThreadpoolWait(reader->Wait, reader->Arrived.Get(), nullptr);
}

void StopOutputReader(OutputReader* reader) {
  if (reader == nullptr) return;
  AcquireSRWLockExclusive(&reader->Lock);
  reader->Stopping = true;
  ReleaseSRWLockExclusive(&reader->Lock);
  // The wait comes off before the read is called off: the cancel sets the event,
  // and the pool must not be watching it then. A callback that runs or is queued
  // finds the stop and issues nothing. (Dropping queued callbacks instead costs a
  // pool thread each time under Wine: 11 more threads after 300 views.)
  SetThreadpoolWait(reader->Wait, nullptr, nullptr);
  WaitForThreadpoolWaitCallbacks(reader->Wait, FALSE);
  CloseThreadpoolWait(reader->Wait);
  // The read may write into the buffer until it has finished.
  if (reader->ReadPending) {
    CancelIoEx(reader->Pipe, &reader->Pending);
    DWORD got = 0;
    GetOverlappedResult(reader->Pipe, &reader->Pending, &got, TRUE);
  }
  delete reader;
}
