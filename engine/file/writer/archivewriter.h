// Writing archives: the encoder of compressed blocks and the packer of a tree of files
// into archive bytes. The engine itself only reads archives; the packer serves the
// krapack tool and the tests, which build their archives with it.
#pragma once

#include "engine/file/archiveformat.h"

#include <cstddef>
#include <cstdint>

// ---- compressed blocks -------------------------------------------------------------

// Bytes a block of size input bytes can take at most.
size_t ArchiveEncodeBound(size_t size);
// Encodes size bytes into a compressed block (head included) that DecodeArchiveData
// expands; the escape byte is the input's least frequent byte. Returns the block's length,
// or -1 when it does not fit capacity or the input is 4 GiB or more.
int64_t EncodeArchiveData(const void* source, size_t size, void* destination, size_t capacity);

// ---- packing -----------------------------------------------------------------------

enum {
  ARCHIVE_COMPRESS_NONE = 0,
  ARCHIVE_COMPRESS_SMALLER = 1,  // a file is stored compressed when that makes it smaller
  ARCHIVE_COMPRESS_ALWAYS = 2,   // every file is stored compressed
};

struct ArchiveWriteOptions {
  int version;            // 0 to 3
  int compress;           // ARCHIVE_COMPRESS_*; versions 2 and 3 only
  const char* keyString;  // null: the default key
  int fallbackKey;        // 1: scramble with the fallback key instead
};

// One file or directory to pack. Directories named in a file's path are made as needed;
// an item of its own gives a directory its times or makes an empty one.
struct ArchiveWriteItem {
  const char* path;     // inside the archive, Shift-JIS, '\' or '/' between components
  int isDirectory;
  const void* data;     // a file's contents (may be null when size is 0)
  size_t size;
  uint64_t createTime;  // FILETIME
  uint64_t writeTime;   // FILETIME
};

// Archive bytes from the tracked allocator; free with FreeArchiveBytes.
struct ArchiveBytes {
  uint8_t* data;
  size_t size;
};

// Packs the items, in their order, into out; 0, or -1 (logged) for a bad option, an empty
// or "."/".." component, a name longer than 259 bytes, two entries of one directory
// whose names differ only in letter case, a file used as a directory, or a total of 4 GiB
// or more.
int PackArchive(const ArchiveWriteItem* items, size_t count, const ArchiveWriteOptions* options,
                ArchiveBytes* out);
// Packs the tree below a folder (read through the platform's file functions; entries in
// name order, times from the disk); 0 or -1 (logged).
int PackArchiveFolder(const char* folder, const ArchiveWriteOptions* options, ArchiveBytes* out);
// Writes the bytes to a new or truncated file; 0 or -1 (logged).
int SaveArchiveBytes(const char* path, const ArchiveBytes* bytes);
void FreeArchiveBytes(ArchiveBytes* bytes);

// FILETIME (100 ns units since 1601) of a time in seconds since 1970.
uint64_t FileTimeFromUnixSeconds(int64_t seconds);
