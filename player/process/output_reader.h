#pragma once
#include <windows.h>

#include "auto_close_handle.h"
#include "player_pipes.h"

// Once identification is over nobody needs what the player prints, but a player
// whose output pipe fills up stops at its next write: the video freezes. This
// keeps reading that output and drops it for as long as the view is open.
struct OutputReader;

// Where what the reader reads goes instead of being dropped: called on a pool
// thread with each read's bytes, never two calls at a time for one reader, and
// never after StopOutputReader has returned.
struct OutputSink {
  void (*Deliver)(void* context, const char* bytes, DWORD size) = nullptr;
  void* Context = nullptr;
  // Called once, as Deliver is, when the pipe has ended by itself (the player has
  // gone, or closed its end); never for a stop's end.
  void (*Ended)(void* context) = nullptr;
};

// A connection that is read when it is ready instead of by a pending read: a
// socket. Under Wine a socket's pending read completes only once the thread that
// issued it runs again, and a pool thread may sleep for seconds, until it retires;
// readiness is told by an event that nothing of ours has to run for.
struct ReadyReads {
  // Has |event| set whenever the connection has bytes or has ended; a null
  // |event| stops that. Either way the connection no longer waits in a read.
  // False when the system refuses.
  bool (*Watch)(HANDLE connection, HANDLE event);
  // Takes what has arrived, without waiting (only after a Watch): |got| bytes,
  // 0 when nothing has yet. False once the connection has ended.
  bool (*Take)(HANDLE connection, char* buffer, DWORD size, DWORD& got);
};

// Sets up the reading of |outputPipe| (one of our overlapped pipe ends) without
// reading yet: the player's identification is read first, on the host's thread,
// and handed over (ReaderHandover). With |ready|, the reading after the handover
// is by readiness. Null when the system refuses; the view then works as it did
// without it.
OutputReader* PrepareOutputReader(HANDLE outputPipe, OutputSink sink = {}, const ReadyReads* ready = nullptr);

// The reads on a pipe end before its reader takes it over: the identification,
// on the host's thread. Each read signals the reader's event as it ends, and the
// event is left set when the handover goes, after reads or none: that is what
// has StartOutputReader issue the reader's first read. Without a reader (the
// system refused one), the reads signal an event of their own.
class ReaderHandover {
 public:
  ReaderHandover(HANDLE pipe, OutputReader* reader);
  ReaderHandover(const ReaderHandover&) = delete;
  ReaderHandover& operator=(const ReaderHandover&) = delete;
  ~ReaderHandover();

  HANDLE Pipe() const { return pipe_; }
  // False when there is no event to read with: nothing can be read.
  bool Usable() const { return event_ != nullptr; }
  // ReadPipe on the pipe, signalling the event.
  ReadOutcome Read(HANDLE process, char* buffer, DWORD size, DWORD& bytesRead, ULONGLONG deadlineTick);

 private:
  HANDLE pipe_;
  AutoCloseHandle ownEvent_;
  HANDLE event_;
};

// From now on the output is read and dropped in the background; the reads
// happen on pool threads. Costs the calling thread one call.
void StartOutputReader(OutputReader* reader);

// Returns once no read is pending and no callback of ours runs or will run, so
// the plugin file may be unloaded right after. Call before closing the pipe.
void StopOutputReader(OutputReader* reader);
