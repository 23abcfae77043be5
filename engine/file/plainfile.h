// Plain files: the file-reading half of the plain-file set (slots 0 to 6).
//
// A file is read either directly, each read on the caller's thread, or through a reading
// thread of its own when the caller asks for a read cache or for asynchronous reads. The
// caller and the thread hand commands over through two manual-reset events: the caller
// waits for `done`, fills the command, resets `done` and sets `request`; the thread
// resets both, works and sets `done`. With a cache the thread reads ahead into a 128 KB
// window after 100 ms without a command.
#pragma once

#include "engine/file/file.h"

#include <cstdint>

struct PlatFile;
struct PlatEvent;
struct PlatThread;

enum { PLAIN_FILE_CACHE_SIZE = 131072 };

enum FileCommand : int32_t {
  FILE_COMMAND_OPEN = 0,
  FILE_COMMAND_CLOSE = 1,
  FILE_COMMAND_READ = 2,
  FILE_COMMAND_SEEK = 3,
  FILE_COMMAND_EXIT = 4,
};

// One open plain file; its address is the file handle.
struct PlainFileRecord {
  PlatFile* handle;     // direct mode only
  int32_t threaded;     // a reading thread serves the file
  int32_t useCache;
  int32_t asynchronous;
  int32_t endFlag;      // a read found nothing left; cleared by every seek
  uint32_t position;
  uint32_t size;        // taken at open (files past 4 GB count as 4 GB - 1)
  uint32_t threadId;
  PlatThread* thread;
  PlatFile* threadHandle;  // the file as the reading thread holds it; null when closed
  PlatEvent* requestEvent;  // set by the caller to hand over a command
  PlatEvent* doneEvent;     // set by the thread when the command is finished (= idle)
  FileCommand command;
  int32_t threadEnded;
  int32_t openFailed;
  const char* openPath;   // open command: the caller's path, valid while it waits
  unsigned char* readDestination;
  uint32_t readPosition;  // read command: file position of the first byte
  uint32_t readCount;     // read command: bytes wanted; the thread leaves the bytes read
  uint32_t seekPosition;
  unsigned char* cache;   // PLAIN_FILE_CACHE_SIZE bytes, only with useCache
  uint32_t cachePosition; // the cache holds the file's bytes from here
  uint32_t cacheFill;     // ... for this many bytes
  int32_t readPending;    // an asynchronous read whose outcome is not yet taken in
  uint32_t pendingStart;  // its start and the bytes it was asked for
  uint32_t pendingCount;
};

// A handle, or 0 when the file cannot be opened (only a threaded open logs, and only for
// a failure after the file was found). The reserved argument is not read.
FileHandle PlainFileOpen(const char* path, int useCache, int reserved, int asynchronous);
// 0, or -1 when the handle is 0 or the system refuses to close a direct file.
int PlainFileClose(FileHandle file);
int64_t PlainFileTell(FileHandle file);
// Moves to offset from the start (0), the position (1) or the size (2). The position may
// lie past the end. A target before the start or past 4 GB, or another origin, gives -1
// and changes nothing.
int PlainFileSeek(FileHandle file, int32_t offset, int origin);
// Whole elements read; a partial last element is never delivered. An asynchronous file
// returns the elements asked for at once: the destination must stay untouched until the
// idle check gives 1, and the position is corrected then should the read come up short.
int64_t PlainFileRead(void* destination, uint32_t size, uint32_t count, FileHandle file);
// -1 when the end flag is set, else 0.
int PlainFileEof(FileHandle file);
// 1 for a direct file; for a threaded one 1 when the thread is idle, 0 while it works.
int PlainFileIdleCheck(FileHandle file);
// Blocks until the reading thread has finished its command (at once for a direct file)
// and takes in the outcome of a finished asynchronous read, as the idle check does; 1,
// or -1 for handle 0. Callers that must have the bytes use this in place of polling.
int PlainFileWaitIdle(FileHandle file);
