#include "engine/file/plainfile.h"

#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "platform/fs/fs.h"
#include "platform/kernel/kernel.h"

#include <cstring>

namespace {

PlainFileRecord* Record(FileHandle file) { return reinterpret_cast<PlainFileRecord*>(file); }

// The system's size, held in the record's 32 bits: a larger file reads as its first
// 4 GB - 1 bytes rather than as its size modulo 4 GB.
uint32_t ClampSize(int64_t size) { return size > 0xFFFFFFFFll ? 0xFFFFFFFFu : uint32_t(size); }

// ---- the reading thread ---------------------------------------------------------------

// Fills the free room of the cache with the bytes that follow it, in one read.
void ReadAhead(PlainFileRecord* f) {
  if (!f->threadHandle || !f->cache || f->cacheFill >= PLAIN_FILE_CACHE_SIZE) return;
  uint64_t next = uint64_t(f->cachePosition) + f->cacheFill;
  // At the end there is nothing to fetch; without this the thread would ask the system
  // again every 100 ms for as long as the file stays open.
  if (next >= f->size) return;
  if (PlatFileSeek(f->threadHandle, int64_t(next), PLAT_SEEK_SET) < 0) return;
  int64_t got = PlatFileRead(f->threadHandle, f->cache + f->cacheFill,
                             PLAIN_FILE_CACHE_SIZE - f->cacheFill);
  if (got > 0) f->cacheFill += uint32_t(got);
}

void ThreadRead(PlainFileRecord* f) {
  unsigned char* destination = f->readDestination;
  uint32_t position = f->readPosition;
  uint32_t wanted = f->readCount;
  uint32_t delivered = 0;
  // A read that starts where the cache starts takes the cached bytes first; the rest of
  // the cache moves to its front so that the next sequential read starts there again.
  if (f->cache && position == f->cachePosition && f->cacheFill != 0) {
    uint32_t n = wanted < f->cacheFill ? wanted : f->cacheFill;
    std::memcpy(destination, f->cache, n);
    destination += n;
    position += n;
    wanted -= n;
    delivered += n;
    f->cachePosition += n;
    f->cacheFill -= n;
    if (f->cacheFill) std::memmove(f->cache, f->cache + n, f->cacheFill);
  }
  if (wanted) {
    int64_t got = -1;
    if (PlatFileSeek(f->threadHandle, position, PLAT_SEEK_SET) >= 0)
      got = PlatFileRead(f->threadHandle, destination, wanted);
    if (got < 0) got = 0;
    delivered += uint32_t(got);
    if (f->cache) {
      f->cachePosition = position + uint32_t(got);
      f->cacheFill = 0;
    }
  }
  f->readCount = delivered;
}

void FileAccessThread(void* arg) {
  PlainFileRecord* f = static_cast<PlainFileRecord*>(arg);
  for (;;) {
    int wait = PlatEventWait(f->requestEvent, f->cache ? 100u : uint32_t(PLAT_INFINITE));
    if (wait == PLAT_WAIT_TIMEOUT) {
      ReadAhead(f);
      continue;
    }
    if (wait != PLAT_WAIT_SIGNALED) {
      // Cannot wait any more: end, but release a caller waiting for the command.
      f->threadEnded = 1;
      PlatEventSet(f->doneEvent);
      return;
    }
    PlatEventReset(f->requestEvent);
    PlatEventReset(f->doneEvent);
    switch (f->command) {
      case FILE_COMMAND_OPEN:
        f->threadHandle = PlatFileOpen(f->openPath, PLAT_FILE_READ, PLAT_OPEN_EXISTING);
        if (!f->threadHandle) {
          f->openFailed = 1;
          f->threadEnded = 1;
          PlatEventSet(f->doneEvent);
          return;
        }
        break;
      case FILE_COMMAND_CLOSE:
        PlatFileClose(f->threadHandle);
        f->threadHandle = nullptr;
        break;
      case FILE_COMMAND_READ:
        ThreadRead(f);
        break;
      case FILE_COMMAND_SEEK:
        PlatFileSeek(f->threadHandle, f->seekPosition, PLAT_SEEK_SET);
        if (f->cache) {
          f->cachePosition = f->seekPosition;
          f->cacheFill = 0;
        }
        break;
      case FILE_COMMAND_EXIT:
        if (f->threadHandle) PlatFileClose(f->threadHandle);
        f->threadHandle = nullptr;
        f->threadEnded = 1;
        PlatEventSet(f->doneEvent);
        return;
    }
    PlatEventSet(f->doneEvent);
  }
}

// ---- the caller's side ----------------------------------------------------------------

// Takes in the outcome of a finished asynchronous read: the position was moved by the
// bytes asked for, and goes back to where the bytes actually read end.
void TakeInFinishedRead(PlainFileRecord* f) {
  if (!f->readPending) return;
  f->readPending = 0;
  if (f->readCount < f->pendingCount) {
    f->position = f->pendingStart + f->readCount;
    f->endFlag = 1;
  }
}

// Waits until the thread has finished its command.
void WaitIdle(PlainFileRecord* f) {
  PlatEventWait(f->doneEvent, PLAT_INFINITE);
  TakeInFinishedRead(f);
}

int PollIdle(PlainFileRecord* f) {
  if (PlatEventWait(f->doneEvent, 0) != PLAT_WAIT_SIGNALED) return 0;
  TakeInFinishedRead(f);
  return 1;
}

void HandOver(PlainFileRecord* f, FileCommand command) {
  f->command = command;
  PlatEventReset(f->doneEvent);
  PlatEventSet(f->requestEvent);
}

void FreeThreadParts(PlainFileRecord* f) {
  TrackedFree(f->cache);
  PlatEventDestroy(f->requestEvent);
  PlatEventDestroy(f->doneEvent);
}

int OpenThreaded(PlainFileRecord* f, const char* path) {
  PlatFile* probe = PlatFileOpen(path, PLAT_FILE_READ, PLAT_OPEN_EXISTING);
  if (!probe) return -1;
  int64_t size = PlatFileSize(probe);
  PlatFileClose(probe);
  if (size < 0) return -1;
  f->size = ClampSize(size);

  if (f->useCache) {
    f->cache = static_cast<unsigned char*>(TrackedAlloc(PLAIN_FILE_CACHE_SIZE, "", 0));
    if (!f->cache) return WriteLog("ファイル読み込みキャッシュ用メモリの確保に失敗しました\n");
  }
  f->requestEvent = PlatEventCreate(1, 0);
  f->doneEvent = PlatEventCreate(1, 1);
  if (f->requestEvent && f->doneEvent) f->thread = PlatThreadStart(FileAccessThread, f);
  if (!f->thread) {
    FreeThreadParts(f);
    return WriteLog("ファイルアクセス専用スレッドの作成に失敗しました\n");
  }

  f->openPath = path;
  HandOver(f, FILE_COMMAND_OPEN);
  PlatEventWait(f->doneEvent, PLAT_INFINITE);
  f->openPath = nullptr;
  f->threadId = PlatThreadGetId(f->thread);
  if (f->openFailed) {
    PlatThreadJoin(f->thread);
    FreeThreadParts(f);
    return WriteLog("ファイルのオープンに失敗しました\n");
  }
  return 0;
}

}  // namespace

FileHandle PlainFileOpen(const char* path, int useCache, int, int asynchronous) {
  if (!path) return 0;
  PlainFileRecord* f = static_cast<PlainFileRecord*>(TrackedCalloc(sizeof(PlainFileRecord), "", 0));
  if (!f) return 0;
  f->useCache = useCache ? 1 : 0;
  f->asynchronous = asynchronous ? 1 : 0;
  f->threaded = f->useCache | f->asynchronous;
  if (f->threaded) {
    if (OpenThreaded(f, path) != 0) {
      TrackedFree(f);
      return 0;
    }
  } else {
    f->handle = PlatFileOpen(path, PLAT_FILE_READ, PLAT_OPEN_EXISTING);
    int64_t size = f->handle ? PlatFileSize(f->handle) : -1;
    if (size < 0) {
      PlatFileClose(f->handle);
      TrackedFree(f);
      return 0;
    }
    f->size = ClampSize(size);
  }
  f->endFlag = 0;
  f->position = 0;
  return reinterpret_cast<FileHandle>(f);
}

int PlainFileClose(FileHandle file) {
  PlainFileRecord* f = Record(file);
  if (!f) return -1;
  if (f->threaded) {
    WaitIdle(f);
    HandOver(f, FILE_COMMAND_EXIT);
    PlatEventWait(f->doneEvent, PLAT_INFINITE);
    PlatThreadJoin(f->thread);
    FreeThreadParts(f);
  } else {
    PlatFileClose(f->handle);
  }
  TrackedFree(f);
  return 0;
}

int64_t PlainFileTell(FileHandle file) {
  PlainFileRecord* f = Record(file);
  if (!f) return -1;
  if (f->threaded && f->readPending) PollIdle(f);
  return f->position;
}

int PlainFileSeek(FileHandle file, int32_t offset, int origin) {
  PlainFileRecord* f = Record(file);
  if (!f) return -1;
  if (f->threaded) WaitIdle(f);
  int64_t target;
  if (SeekTarget(f->position, f->size, offset, origin, &target) != 0) return -1;
  if (target < 0 || target > 0xFFFFFFFFll) return -1;
  if (f->threaded) {
    f->seekPosition = uint32_t(target);
    HandOver(f, FILE_COMMAND_SEEK);
  } else if (PlatFileSeek(f->handle, target, PLAT_SEEK_SET) < 0) {
    return -1;
  }
  f->position = uint32_t(target);
  f->endFlag = 0;
  return 0;
}

int64_t PlainFileRead(void* destination, uint32_t size, uint32_t count, FileHandle file) {
  PlainFileRecord* f = Record(file);
  if (!f) return -1;
  if (size == 0) return 0;
  if (f->threaded) WaitIdle(f);

  // A position at or past the end (a seek may put it there) delivers nothing.
  if (f->position >= f->size) {
    f->endFlag = 1;
    return 0;
  }
  if (count == 0) return 0;
  uint64_t bytes = uint64_t(size) * count;
  const uint32_t left = f->size - f->position;
  if (bytes > left) {
    count = left / size;
    if (count == 0) {
      f->endFlag = 1;
      return 0;
    }
    bytes = uint64_t(count) * size;
  }

  if (!f->threaded) {
    int64_t got = PlatFileRead(f->handle, destination, int64_t(bytes));
    if (got < 0) got = 0;
    f->position += uint32_t(got);
    if (uint64_t(got) < bytes) f->endFlag = 1;
    return got / size;
  }

  f->readDestination = static_cast<unsigned char*>(destination);
  f->readPosition = f->position;
  f->readCount = uint32_t(bytes);
  HandOver(f, FILE_COMMAND_READ);
  if (f->asynchronous) {
    f->readPending = 1;
    f->pendingStart = f->position;
    f->pendingCount = uint32_t(bytes);
    f->position += uint32_t(bytes);
    return count;
  }
  PlatEventWait(f->doneEvent, PLAT_INFINITE);
  f->position += f->readCount;
  if (f->readCount < bytes) f->endFlag = 1;
  return f->readCount / size;
}

int PlainFileEof(FileHandle file) {
  PlainFileRecord* f = Record(file);
  if (!f) return -1;
  if (f->threaded && f->readPending) PollIdle(f);
  return f->endFlag ? -1 : 0;
}

int PlainFileIdleCheck(FileHandle file) {
  PlainFileRecord* f = Record(file);
  if (!f) return -1;
  if (!f->threaded) return 1;
  return PollIdle(f);
}

int PlainFileWaitIdle(FileHandle file) {
  PlainFileRecord* f = Record(file);
  if (!f) return -1;
  if (f->threaded) WaitIdle(f);
  return 1;
}
