#include "output_reader.h"

#include "auto_close_handle.h"

// A wait in the system's thread pool on the event of one pending read: a quiet
// player costs no thread of ours, no timer and no polling; a pool thread runs
// only when output has arrived. (The pool's I/O completion objects would do the
// same, but Wine leaks heap for each one a view would make.)

namespace {

constexpr DWORD kReadSize = 64 * 1024;  // as large as the pipe's buffer: one read empties it

void CALLBACK OnOutputArrived(PTP_CALLBACK_INSTANCE, void* context, PTP_WAIT, TP_WAIT_RESULT);

}  // namespace

struct OutputReader {
  HANDLE Pipe = nullptr;
  AutoCloseHandle Arrived{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  PTP_WAIT Wait = nullptr;
  // Orders each read against the stop: a read is either never issued or issued
  // where the stop's cancel finds it.
  SRWLOCK Lock = SRWLOCK_INIT;
  bool Stopping = false;
  bool ReadPending = false;  // a read waits for output, and nobody has taken its result yet
  OVERLAPPED Pending{};
  char Buffer[kReadSize];
};

namespace {

// Issues one read; true when it completed at once, so that the next may follow.
// The lock is taken for each read alone: a player that never pauses must not
// keep the stop waiting.
bool ReadOnce(OutputReader& reader) {
  AcquireSRWLockExclusive(&reader.Lock);
  bool completed = false;
  if (!reader.Stopping) {
    reader.Pending = OVERLAPPED{};
    reader.Pending.hEvent = reader.Arrived.Get();
    completed = ReadFile(reader.Pipe, reader.Buffer, kReadSize, nullptr, &reader.Pending) != FALSE;
    // Failing otherwise, the pipe has ended: the player has gone and all it wrote has been read.
    reader.ReadPending = !completed && GetLastError() == ERROR_IO_PENDING;
    if (reader.ReadPending) SetThreadpoolWait(reader.Wait, reader.Arrived.Get(), nullptr);
  }
  ReleaseSRWLockExclusive(&reader.Lock);
  return completed;
}

// Reads until a read has to wait, then lets the pool wait for it. What is read is dropped.
void ReadNext(OutputReader& reader) {
  while (ReadOnce(reader)) {
  }
}

void CALLBACK OnOutputArrived(PTP_CALLBACK_INSTANCE, void* context, PTP_WAIT, TP_WAIT_RESULT) {
  auto& reader = *static_cast<OutputReader*>(context);
  DWORD got = 0;
  AcquireSRWLockExclusive(&reader.Lock);
  const bool read = GetOverlappedResult(reader.Pipe, &reader.Pending, &got, FALSE) != FALSE;
  reader.ReadPending = false;
  ReleaseSRWLockExclusive(&reader.Lock);
  // A failed read: the pipe ended, or the stop cancelled it.
  if (read) ReadNext(reader);
}

}  // namespace

OutputReader* StartOutputReader(HANDLE outputPipe) {
  auto* reader = new OutputReader;
  reader->Pipe = outputPipe;
  reader->Wait = CreateThreadpoolWait(OnOutputArrived, reader, nullptr);
  if (reader->Wait == nullptr || !reader->Arrived.IsValid()) {
    if (reader->Wait != nullptr) CloseThreadpoolWait(reader->Wait);
    delete reader;
    return nullptr;
  }
  ReadNext(*reader);
  return reader;
}

void StopOutputReader(OutputReader* reader) {
  if (reader == nullptr) return;
  AcquireSRWLockExclusive(&reader->Lock);
  reader->Stopping = true;
  if (reader->ReadPending) CancelIoEx(reader->Pipe, &reader->Pending);
  ReleaseSRWLockExclusive(&reader->Lock);
  // No callback runs after this; one already on its way finds the stop and reads no more.
  SetThreadpoolWait(reader->Wait, nullptr, nullptr);
  WaitForThreadpoolWaitCallbacks(reader->Wait, FALSE);
  CloseThreadpoolWait(reader->Wait);
  // A cancelled read that no callback took may write into the buffer until it has finished.
  DWORD got = 0;
  if (reader->ReadPending) GetOverlappedResult(reader->Pipe, &reader->Pending, &got, TRUE);
  delete reader;
}
