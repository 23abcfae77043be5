#include "engine/file/file.h"

#include "engine/base/memory.h"
#include "engine/file/dirfind.h"
#include "engine/file/plainfile.h"

#include <cstring>

const FileFunctionTable PlainFileFunctionSet = {
    .open = PlainFileOpen,
    .close = PlainFileClose,
    .tell = PlainFileTell,
    .seek = PlainFileSeek,
    .read = PlainFileRead,
    .eof = PlainFileEof,
    .idleCheck = PlainFileIdleCheck,
    .setCurrentDir = PlainSetCurrentDir,
    .getCurrentDir = PlainGetCurrentDir,
    .findFirst = PlainFindFirst,
    .findNext = PlainFindNext,
    .findClose = PlainFindClose,
};

int32_t PlainFilesOnly = 0;

namespace {

FileFunctionTable g_fileFunctions = ArchiveAwareFileFunctionSet;

}  // namespace

int SetFileFunctionTable(const FileFunctionTable* table) {
  if (table)
    g_fileFunctions = *table;
  else
    g_fileFunctions = PlainFilesOnly == 1 ? PlainFileFunctionSet : ArchiveAwareFileFunctionSet;
  return 0;
}

FileHandle FileOpen(const char* path, int useCache, int reserved, int asynchronous) {
  return g_fileFunctions.open(path, useCache, reserved, asynchronous);
}
int FileClose(FileHandle file) { return g_fileFunctions.close(file); }
int64_t FileTell(FileHandle file) { return g_fileFunctions.tell(file); }
int FileSeek(FileHandle file, int32_t offset, int origin) {
  return g_fileFunctions.seek(file, offset, origin);
}
int64_t FileRead(void* destination, uint32_t size, uint32_t count, FileHandle file) {
  return g_fileFunctions.read(destination, size, count, file);
}
int FileEof(FileHandle file) { return g_fileFunctions.eof(file); }
int FileIdleCheck(FileHandle file) { return g_fileFunctions.idleCheck(file); }
int FileSetCurrentDir(const char* path) { return g_fileFunctions.setCurrentDir(path); }
int FileGetCurrentDir(char* buffer, size_t capacity) {
  return g_fileFunctions.getCurrentDir(buffer, capacity);
}

int SeekTarget(int64_t position, int64_t size, int32_t offset, int origin, int64_t* target) {
  switch (origin) {
    case FILE_SEEK_SET: *target = offset; return 0;
    case FILE_SEEK_CUR: *target = position + offset; return 0;
    case FILE_SEEK_END: *target = size + offset; return 0;
    default: return -1;
  }
}

// ---- memory streams -------------------------------------------------------------------

MemStream* MemStreamOpen(const void* data, uint32_t size) {
  MemStream* s = static_cast<MemStream*>(TrackedAlloc(sizeof(MemStream), "", 0));
  if (!s) return nullptr;
  s->data = static_cast<const unsigned char*>(data);
  s->size = size;
  s->position = 0;
  s->endFlag = 0;
  return s;
}

int MemStreamClose(MemStream* stream) {
  TrackedFree(stream);
  return 0;
}

int64_t MemStreamTell(MemStream* stream) { return stream ? stream->position : -1; }

int MemStreamSeek(MemStream* stream, int32_t offset, int origin) {
  int64_t target;
  if (!stream || SeekTarget(stream->position, stream->size, offset, origin, &target) != 0)
    return -1;
  stream->endFlag = 0;
  if (target > int64_t(stream->size))
    target = stream->size;
  else if (target < 0)
    target = 0;
  stream->position = int32_t(target);
  return 0;
}

int64_t MemStreamRead(void* destination, uint32_t size, uint32_t count, MemStream* stream) {
  if (!stream) return 0;
  const uint32_t position = uint32_t(stream->position);
  if (position >= stream->size) {
    stream->endFlag = 1;
    return 0;
  }
  // A request for nothing reads nothing (rather than taking the partial-element path).
  if (size == 0 || count == 0) return 0;
  const uint32_t remaining = stream->size - position;
  if (uint64_t(size) * count > remaining) count = remaining / size;
  const uint64_t bytes = count ? uint64_t(size) * count : remaining;
  std::memcpy(destination, stream->data + position, size_t(bytes));
  stream->position = int32_t(position + uint32_t(bytes));
  stream->endFlag = 0;
  return count ? count : 1;
}

int MemStreamEof(MemStream* stream) { return stream ? stream->endFlag : 1; }

int MemStreamIdleCheck(MemStream*) { return 1; }

// ---- stream rows ----------------------------------------------------------------------

namespace {

MemStream* Mem(StreamHandle stream) { return reinterpret_cast<MemStream*>(stream); }
int64_t MemRowTell(StreamHandle s) { return MemStreamTell(Mem(s)); }
int MemRowSeek(StreamHandle s, int32_t offset, int origin) {
  return MemStreamSeek(Mem(s), offset, origin);
}
int64_t MemRowRead(void* destination, uint32_t size, uint32_t count, StreamHandle s) {
  return MemStreamRead(destination, size, count, Mem(s));
}
int MemRowEof(StreamHandle s) { return MemStreamEof(Mem(s)); }
int MemRowIdleCheck(StreamHandle s) { return MemStreamIdleCheck(Mem(s)); }
int MemRowClose(StreamHandle s) { return MemStreamClose(Mem(s)); }

const StreamFunctions kFileRow = {
    .tell = FileTell,
    .seek = FileSeek,
    .read = FileRead,
    .eof = FileEof,
    .idleCheck = FileIdleCheck,
    .close = FileClose,
};
const StreamFunctions kMemRow = {
    .tell = MemRowTell,
    .seek = MemRowSeek,
    .read = MemRowRead,
    .eof = MemRowEof,
    .idleCheck = MemRowIdleCheck,
    .close = MemRowClose,
};

StreamFunctions g_fileStreamRow = kFileRow;
StreamFunctions g_memStreamRow = kMemRow;

}  // namespace

void FillStreamFunctionRows() {
  g_fileStreamRow = kFileRow;
  g_memStreamRow = kMemRow;
}

const StreamFunctions* GetFileStreamFunctions() { return &g_fileStreamRow; }
const StreamFunctions* GetMemStreamFunctions() { return &g_memStreamRow; }
