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
  OutputSink Sink;
  const ReadyReads* Ready = nullptr;  // set while the connection is read by its readiness
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
    // A read that ends with nothing: the end of a socket its other side closed
    // (which can't be peeked at) or of a pipe whose writer has gone; on a pipe
    // still open, a write of no bytes, and the reading goes on.
    if (got == 0 && !PeekNamedPipe(reader.Pipe, nullptr, 0, nullptr, nullptr, nullptr)) return ReadResult::Ended;
    // Dropped unless a sink wants it.
    if (reader.Sink.Deliver != nullptr && got > 0) reader.Sink.Deliver(reader.Sink.Context, reader.Buffer, got);
    return ReadResult::Data;
  }
  const DWORD error = GetLastError();
  if (error == ERROR_IO_INCOMPLETE) return ReadResult::StillPending;
  reader.ReadPending = false;
  return error == ERROR_OPERATION_ABORTED ? ReadResult::Aborted : ReadResult::Ended;
}

// Issues the next read and has the pool wait for it, whether it completed at
// once or not (an overlapped read sets its event either way). False when the
// pipe has ended: the player has gone and all it wrote has been read. Called
// with the lock held.
bool IssueRead(OutputReader& reader) {
  reader.Pending = OVERLAPPED{};
  reader.Pending.hEvent = reader.Arrived.Get();
  if (!ReadFile(reader.Pipe, reader.Buffer, kReadSize, nullptr, &reader.Pending) &&
      GetLastError() != ERROR_IO_PENDING) {
    return false;
  }
  reader.ReadPending = true;
  SetThreadpoolWait(reader.Wait, reader.Arrived.Get(), nullptr);
  return true;
}

void OnEnded(OutputReader& reader) {
  if (reader.Sink.Ended != nullptr) reader.Sink.Ended(reader.Sink.Context);
}

// One buffer of what a ready connection holds, at most: a player that writes
// without pause holds a pool thread no longer than a pending read's would.
void TakeReady(OutputReader& reader) {
  // Reset first: bytes or an end that come after it set the event again.
  ResetEvent(reader.Arrived.Get());
  DWORD got = 0;
  if (!reader.Ready->Take(reader.Pipe, reader.Buffer, kReadSize, got)) {
    OnEnded(reader);
    return;
  }
  if (got > 0) {
    if (reader.Sink.Deliver != nullptr) reader.Sink.Deliver(reader.Sink.Context, reader.Buffer, got);
    SetEvent(reader.Arrived.Get());  // more may be waiting: looked at on the next call
  }
  SetThreadpoolWait(reader.Wait, reader.Arrived.Get(), nullptr);
}

void CALLBACK OnOutputArrived(PTP_CALLBACK_INSTANCE, void* context, PTP_WAIT, TP_WAIT_RESULT) {
  auto& reader = *static_cast<OutputReader*>(context);
  AcquireSRWLockExclusive(&reader.Lock);
  if (!reader.Stopping && reader.Ready != nullptr) {
    TakeReady(reader);
  } else if (!reader.Stopping) {
    switch (CollectRead(reader)) {
      case ReadResult::StillPending:
        SetThreadpoolWait(reader.Wait, reader.Arrived.Get(), nullptr);
        break;
      // A read that was called off without the stop asking for it (on Windows the
      // exit of the pool thread that issued it does that) is issued again.
      case ReadResult::None:
      case ReadResult::Data:
      case ReadResult::Aborted:
        if (!IssueRead(reader)) OnEnded(reader);
        break;
      case ReadResult::Ended:
        OnEnded(reader);
        break;
    }
  }
  ReleaseSRWLockExclusive(&reader.Lock);
}

// What the player wrote before it ended and no callback read any more, for a sink
// that wants all of it (its last reports): only what the pipe already holds, so
// that nothing waits; at most a few buffers.
void DeliverWhatIsLeft(OutputReader& reader) {
  if (reader.Sink.Deliver == nullptr) return;
  if (reader.Ready != nullptr) {
    DWORD got = 0;
    for (int reads = 0; reads < 16 && reader.Ready->Take(reader.Pipe, reader.Buffer, kReadSize, got) && got > 0;
         ++reads) {
      reader.Sink.Deliver(reader.Sink.Context, reader.Buffer, got);
    }
    return;
  }
  for (int reads = 0; reads < 16 && PipeBytesPending(reader.Pipe) > 0; ++reads) {
    OVERLAPPED read{};
    read.hEvent = reader.Arrived.Get();
    DWORD got = 0;
    if (!ReadFile(reader.Pipe, reader.Buffer, kReadSize, nullptr, &read) && GetLastError() != ERROR_IO_PENDING) return;
    // Bytes are waiting: the read ends at once.
    if (!GetOverlappedResult(reader.Pipe, &read, &got, TRUE) || got == 0) return;
    reader.Sink.Deliver(reader.Sink.Context, reader.Buffer, got);
  }
}

}  // namespace

OutputReader* PrepareOutputReader(HANDLE outputPipe, OutputSink sink, const ReadyReads* ready) {
  auto* reader = new OutputReader;
  reader->Pipe = outputPipe;
  reader->Sink = sink;
  reader->Ready = ready;
  reader->Wait = CreateThreadpoolWait(OnOutputArrived, reader, nullptr);
  if (reader->Wait == nullptr || !reader->Arrived.IsValid()) {
    if (reader->Wait != nullptr) CloseThreadpoolWait(reader->Wait);
    delete reader;
    return nullptr;
  }
  return reader;
}

ReaderHandover::ReaderHandover(HANDLE pipe, OutputReader* reader)
    : pipe_(pipe),
      ownEvent_(reader == nullptr ? CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr),
      event_(reader != nullptr ? reader->Arrived.Get() : ownEvent_.Get()) {}

ReaderHandover::~ReaderHandover() {
  if (event_ != nullptr) SetEvent(event_);
}

ReadOutcome ReaderHandover::Read(HANDLE process, char* buffer, DWORD size, DWORD& bytesRead, ULONGLONG deadlineTick) {
  return ReadPipe(pipe_, process, event_, buffer, size, bytesRead, deadlineTick);
}

void StartOutputReader(OutputReader* reader) {
  if (reader == nullptr) return;
  // Refused, the connection is read as a pipe is. The handover left the event
  // set: the first call takes what came since the identification.
  if (reader->Ready != nullptr && !reader->Ready->Watch(reader->Pipe, reader->Arrived.Get())) reader->Ready = nullptr;
  SetThreadpoolWait(reader->Wait, reader->Arrived.Get(), nullptr);
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
  // The event goes with the reader: the connection must not set it any more.
  // Refused, what is left is not taken: it could wait.
  const bool takeLeft = reader->Ready == nullptr || reader->Ready->Watch(reader->Pipe, nullptr);
  // The read may write into the buffer until it has finished.
  if (reader->ReadPending) {
    CancelIoEx(reader->Pipe, &reader->Pending);
    DWORD got = 0;
    if (GetOverlappedResult(reader->Pipe, &reader->Pending, &got, TRUE) && got > 0 && reader->Sink.Deliver != nullptr) {
      reader->Sink.Deliver(reader->Sink.Context, reader->Buffer, got);
    }
  }
  if (takeLeft) DeliverWhatIsLeft(*reader);
  delete reader;
}
