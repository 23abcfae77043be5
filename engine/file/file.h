// The engine's file layer: one table of file functions through which every file access
// goes, the two stream rows that loaders read through, and memory streams.
//
// Two sets of file functions fill the table: the plain-file set (plainfile.h, dirfind.h),
// which reads straight from disk, and the archive-aware set, which first looks for an
// archive standing in for a directory of the path. The rest of the engine calls only the
// forwarders below.
#pragma once

#include <cstddef>
#include <cstdint>

// An open file: opaque, pointer-sized, 0 when an open failed. The plain set hands out the
// address of its record, the archive-aware set slot | 0xF0000000.
typedef uintptr_t FileHandle;
// A directory search: opaque, pointer-sized, -1 when nothing matched.
typedef intptr_t FindHandle;
// The handle a stream row works on: a FileHandle or a MemStream's address.
typedef uintptr_t StreamHandle;

enum { FILE_SEEK_SET = 0, FILE_SEEK_CUR = 1, FILE_SEEK_END = 2 };

// The target of a seek, in 64 bits so that no offset wraps: offset from the start (0),
// the position (1) or the size (2). 0, or -1 for another origin.
int SeekTarget(int64_t position, int64_t size, int32_t offset, int origin, int64_t* target);

// Size of the path buffers of the file layer: room for any path the system gives.
enum { FILE_PATH_MAX = 4096 };
// Size of the name field of a FindRecord.
enum { FIND_NAME_SIZE = 260 };

// A moment in local time; the day of the week and the milliseconds are not kept.
struct DateTimeFields {
  int32_t year, month, day, hour, minute, second;
};

// One entry found by a directory search, from either file set.
struct FindRecord {
  char name[FIND_NAME_SIZE];  // without the directory, zero-terminated
  int32_t directory;          // 1 for a directory
  uint64_t size;
  DateTimeFields created;
  DateTimeFields written;
};

// Twelve slots, in this order. Results:
//   open: a handle, 0 on failure. reserved: every engine caller passes 1; no set reads it.
//   close, seek: 0 or -1.  tell: the position in bytes, -1 for a bad handle.
//   read: the number of whole elements read (never more than count), -1 for a bad handle.
//   eof: -1 once a read has found the end, else 0.
//   idleCheck: 1 when no asynchronous request of the file is outstanding, 0 while one is.
//   setCurrentDir, getCurrentDir: set-dependent (see the sets).
//   findFirst: a find handle, -1 when nothing matches; findNext: 0, or -1 when no further
//   entry matches; findClose: 0 or -1. A null record is allowed: the search still advances.
struct FileFunctionTable {
  FileHandle (*open)(const char* path, int useCache, int reserved, int asynchronous);
  int (*close)(FileHandle file);
  int64_t (*tell)(FileHandle file);
  int (*seek)(FileHandle file, int32_t offset, int origin);
  int64_t (*read)(void* destination, uint32_t size, uint32_t count, FileHandle file);
  int (*eof)(FileHandle file);
  int (*idleCheck)(FileHandle file);
  int (*setCurrentDir)(const char* path);
  // Writes the directory into a buffer of `capacity` bytes.
  int (*getCurrentDir)(char* buffer, size_t capacity);
  FindHandle (*findFirst)(const char* pattern, FindRecord* record);
  int (*findNext)(FindHandle find, FindRecord* record);
  int (*findClose)(FindHandle find);
};

// The plain-file set: PlainFileOpen ... PlainFileIdleCheck, PlainSetCurrentDir ...
// PlainFindClose.
extern const FileFunctionTable PlainFileFunctionSet;
// The archive-aware set (archivefile.h): OpenFileEntry ... ArchiveAwareFindClose. The
// table holds it until something else is installed.
extern const FileFunctionTable ArchiveAwareFileFunctionSet;

// 1 selects the plain-file set when SetFileFunctionTable is given no table; any other
// value (0 by default) the archive-aware set. An engine setting: kept across engine starts.
extern int32_t PlainFilesOnly;

// With a table: copies its slots (the table is not referenced afterwards). With null:
// installs the plain-file set when PlainFilesOnly is 1, else the archive-aware set.
// Returns 0. Engine initialisation calls it with null.
int SetFileFunctionTable(const FileFunctionTable* table);

// Forwarders to slots 0 to 8 of the table in force: arguments and results unchanged.
FileHandle FileOpen(const char* path, int useCache, int reserved, int asynchronous);
int FileClose(FileHandle file);
int64_t FileTell(FileHandle file);
int FileSeek(FileHandle file, int32_t offset, int origin);
int64_t FileRead(void* destination, uint32_t size, uint32_t count, FileHandle file);
int FileEof(FileHandle file);
int FileIdleCheck(FileHandle file);
int FileSetCurrentDir(const char* path);
int FileGetCurrentDir(char* buffer, size_t capacity);

// ---- stream rows ----------------------------------------------------------------------

// Six stream operations; loaders pair a row with a stream handle and read the same way
// from a file or from memory.
//   tell: position. seek: 0, -1 on failure. read: whole elements read (a memory stream
//   delivers a partial last element as one). eof: non-zero once a read found the end
//   (-1 for files, 1 for memory streams). idleCheck: 1 when nothing is outstanding.
//   close: 0, -1 when a file cannot be closed.
struct StreamFunctions {
  int64_t (*tell)(StreamHandle stream);
  int (*seek)(StreamHandle stream, int32_t offset, int origin);
  int64_t (*read)(void* destination, uint32_t size, uint32_t count, StreamHandle stream);
  int (*eof)(StreamHandle stream);
  int (*idleCheck)(StreamHandle stream);
  int (*close)(StreamHandle stream);
};

// The row for FileOpen handles (each operation goes through the table in force) and the
// row for MemStream addresses. Callers copy the row and pair it with a handle.
const StreamFunctions* GetFileStreamFunctions();
const StreamFunctions* GetMemStreamFunctions();
// Writes both rows again (engine initialisation does at every start).
void FillStreamFunctionRows();

// A row paired with the stream it works on: what loaders are handed. The owner of the
// stream (not the loader) closes it.
struct StreamRow {
  StreamFunctions functions;
  StreamHandle handle;
};

// ---- memory streams -------------------------------------------------------------------

// A stream over a block of memory that the caller owns; the stream never frees or
// changes the block.
struct MemStream {
  const unsigned char* data;
  uint32_t size;
  int32_t position;  // 0 to size
  int32_t endFlag;   // 1 once a read found the position at the size
};

// A new stream at position 0, or null when its record cannot be allocated.
MemStream* MemStreamOpen(const void* data, uint32_t size);
// Frees the record, not the data; 0.
int MemStreamClose(MemStream* stream);
int64_t MemStreamTell(MemStream* stream);
// Moves to offset from the start (0), the position (1) or the end (2), kept inside the
// block; clears the end flag. 0, or -1 for another origin.
int MemStreamSeek(MemStream* stream, int32_t offset, int origin);
// Whole elements of `size` bytes copied to the destination; a partial last element is
// copied and counted as one. At the end: 0 and the end flag set.
int64_t MemStreamRead(void* destination, uint32_t size, uint32_t count, MemStream* stream);
// The end flag, 1 or 0.
int MemStreamEof(MemStream* stream);
// Always 1: memory streams have nothing outstanding.
int MemStreamIdleCheck(MemStream* stream);
