// The archive-aware file set, the one the engine normally runs with, and the files read
// from inside archives.
//
// Opening a path first asks whether an archive file stands in for one of the path's
// directories: for the full path /GAME/DATA/IMG/A.PNG the candidates are /GAME.KRA,
// /GAME/DATA.KRA and /GAME/DATA/IMG.KRA, tried in that order; the first one that opens
// holds the file under the rest of the path (IMG\A.PNG inside /GAME/DATA.KRA). Without a
// candidate the file is opened from disk with the plain-file set; when an archive stands
// for the directory but lacks the file, the open fails and the disk is not consulted.
//
// Open files live in a table of 512 handles (slot | 0xF0000000), open archives in a
// table of 512 with reference counts. An archive stays open after its last file closes,
// until the table is full or the engine ends (EndArchives).
#pragma once

#include "engine/file/archive.h"
#include "engine/file/file.h"

#include <cstddef>
#include <cstdint>

enum : uint32_t {
  ARCHIVE_FILE_HANDLES = 512,
  ARCHIVE_TABLE_SLOTS = 512,
  ARCHIVE_FILE_HANDLE_BITS = 0xF0000000u,
  ARCHIVE_PATTERN_SIZE = 260,
  ARCHIVE_EXTENSION_SIZE = 64,
};

// ---- files inside archives ------------------------------------------------------------

enum {
  ARCHIVE_PENDING_NONE = 0,
  ARCHIVE_PENDING_BLOCK = 1,  // the compressed block of an asynchronous open is loading
  ARCHIVE_PENDING_READ = 2,   // an asynchronous read is outstanding
};

// One open file inside an open archive. A compressed file is decoded whole at open; an
// uncompressed one is read on demand, from the image in memory or from the archive file.
struct ArchiveFileEntry {
  ArchiveRecord* archive;
  ArchiveFileRecord record;   // the file's record, checked against the archive's size
  uint8_t* decoded;           // a compressed file: its whole content (record.size bytes)
  uint8_t* compressed;        // the compressed block while it loads
  int32_t endFlag;            // a read found nothing left
  uint32_t position;          // 0 to record.size
  int32_t asynchronous;
  int32_t pending;            // ARCHIVE_PENDING_*
  int32_t failed;             // the block of an asynchronous open did not decode: reads give 0
  uint64_t pendingOffset;     // archive offset of the outstanding bytes
  uint8_t* pendingDestination;
  uint32_t pendingCount;
};

// 0 and the entry filled, or -1 when the archive lacks the file, its stored bytes lie
// outside the archive, its block does not decode to its size, or memory runs out.
int ArchiveFileOpen(ArchiveFileEntry* entry, ArchiveRecord* archive, const char* innerPath,
                    int asynchronous);
// 1 when nothing is outstanding (an outstanding request that has just finished is
// completed: its bytes unscrambled, its block decoded), 0 while the request runs.
int ArchiveFilePoll(ArchiveFileEntry* entry);
// Copies up to `bytes` bytes from the position; returns how many (0 at the end, which
// sets the end flag). An asynchronous read of a streaming archive returns at once: the
// bytes are there once the poll has returned 1.
int64_t ArchiveFileRead(ArchiveFileEntry* entry, void* destination, uint64_t bytes);
// Moves to offset from the start (0), the position (1) or the size (2), kept inside the
// file; clears the end flag. 0, or -1 for another origin.
int ArchiveFileSeek(ArchiveFileEntry* entry, int32_t offset, int origin);
int64_t ArchiveFileTell(ArchiveFileEntry* entry);
// -1 when the end flag is set, else 0.
int ArchiveFileEof(ArchiveFileEntry* entry);
// Completes an outstanding request, frees the buffers and clears the entry; 0.
int ArchiveFileClose(ArchiveFileEntry* entry);

// ---- the archive-aware set ------------------------------------------------------------

// A handle, or 0. Logs when 512 files are open or the entry cannot be allocated. The
// use-cache flag applies to files on disk only.
FileHandle OpenFileEntry(const char* path, int useCache, int reserved, int asynchronous);
// Each gives -1 for a handle that holds no open file.
int ArchiveAwareClose(FileHandle file);
int64_t ArchiveAwareTell(FileHandle file);
int ArchiveAwareSeek(FileHandle file, int32_t offset, int origin);
// Whole elements read: for a file inside an archive the bytes copied divided by the
// element size (a partial last element is copied but not counted); 0 for size 0.
int64_t ArchiveAwareRead(void* destination, uint32_t size, uint32_t count, FileHandle file);
int ArchiveAwareEof(FileHandle file);
int ArchiveAwareIdleCheck(FileHandle file);
// The system's current directory (archives never change it); both return 0. The get
// writes an empty text when the directory does not fit.
int ArchiveAwareSetCurrentDir(const char* path);
int ArchiveAwareGetCurrentDir(char* buffer, size_t capacity);
// As the plain-file searches, inside an archive when one stands for the directory of the
// pattern's path.
FindHandle ArchiveAwareFindFirst(const char* pattern, FindRecord* record);
int ArchiveAwareFindNext(FindHandle find, FindRecord* record);
int ArchiveAwareFindClose(FindHandle find);

// ---- tables ---------------------------------------------------------------------------

// Clears both tables, their counts, the settings and the last-hit cache; 0. Engine
// initialisation calls it before installing the file set.
int InitArchiveTables();
// Closes every open archive that no open file or search uses.
void CloseUnusedArchives();
// CloseUnusedArchives; 0. Called at the engine's end; archives still in use stay open.
int EndArchives();
// The slot of the archive at path (compared byte for byte with the paths of the open
// archives: give the full upper-case path, as MakeFullUpperPath makes it) with one more
// reference, opening it when no slot holds it; -1 when it cannot be opened. An archive
// opened here in memory serves every later open of a path below it.
int OpenArchive(int hint, const char* path, int inMemory, int asynchronous);
// Drops one reference of the archive in the slot (nothing for an empty slot or a count
// already at 0).
void ReleaseArchive(int slot);
// Open archives, and the references of one (-1 for an empty slot).
int32_t GetOpenArchiveCount();
int32_t GetArchiveReferences(int slot);
int32_t GetOpenFileCount();

// Settings kept with the tables (InitArchiveTables clears them): the extension of
// archive files ("KRA" while none is set) and the key string (null: the default key).
// 0, or -1 when the text does not fit.
int SetArchiveExtension(const char* extension);
int SetArchiveKeyString(const char* keyString);

// 0 with the slot of the shallowest archive standing for a directory of the path (one
// more reference, the caller's), the archive's path and the rest of the path inside it
// (components separated by backslashes); -1 when no archive stands for the path; -2 when
// the path is too long to look up. Outputs may be null.
int FindArchiveForPath(const char* path, int* slot, char* archivePath, size_t archiveCapacity,
                       char* innerPath, size_t innerCapacity);

// ---- paths ----------------------------------------------------------------------------

// The full path of `path` against the current directory, a-z upper-cased (Shift-JIS
// double-byte characters kept whole): empty components are skipped, "." dropped, ".."
// removes the last component. On Linux the result starts at the root "/" with '/'
// between components; a path with a drive letter keeps the drive and joins with '\'. A
// leading double separator counts as one. 0, or -1 when it does not fit or the current
// directory cannot be had.
int MakeFullUpperPath(const char* path, char* fullPath, size_t capacity);
// Splits at the last backslash, slash or colon: the name follows it, the directory
// precedes it; without one the name is the whole path and the directory is empty.
// Outputs may be null. 0, or -1 when a part does not fit.
int SplitPathName(const char* path, char* name, size_t nameCapacity, char* directory,
                  size_t directoryCapacity);

// ---- searches inside archives ---------------------------------------------------------

// A search of one directory of an archive. Entry 0 is ".", entry 1 ".." outside the
// root, then the directory's records in order.
struct ArchiveSearch {
  ArchiveRecord* archive;
  char pattern[ARCHIVE_PATTERN_SIZE];  // upper case
  uint32_t directory;                  // the directory record's offset in its table
  int32_t nextIndex;
};

// The search of the directory part of path (from the archive's current directory) for
// the names its last component matches, with the first entry in *record; null when the
// directory is missing or nothing matches.
ArchiveSearch* ArchiveDirFindFirst(ArchiveRecord* archive, const char* path, FindRecord* record);
// 0 with the first matching entry from nextIndex (nextIndex then names it), or -1.
int ArchiveDirFindNext(ArchiveSearch* search, FindRecord* record);
