// One open archive (the format of archive_format.h) and the name lookups in it.
//
// An archive is opened streaming, where the archive file stays open and is read on
// demand through its own reading thread, or in memory, where the whole file is loaded
// (in the background when asked) and unscrambled once. Either way the header and the
// information block are read and unscrambled at open; every record taken from the block
// later goes through the format's checked readers, so a malformed archive makes a lookup
// fail rather than read outside the block.
//
// Every lookup first completes a running in-memory load, so the tables and the image are
// unscrambled whenever they are used.
#pragma once

#include "engine/file/archiveformat.h"
#include "engine/file/file.h"

#include <cstddef>
#include <cstdint>

// The key under which a name is looked up, built as the name table's key names are.
// units 0 marks a name that could not be keyed (too long); it matches nothing.
struct SearchName {
  uint8_t name[ARCHIVE_MAX_KEY_NAME];  // upper-cased, zero-padded to units * 4 bytes
  uint16_t sum;                        // byte sum of the key, 16 bits wrapping
  uint16_t units;                      // key length in 4-byte units
};

// The state of one open archive; all zero when it holds none.
struct ArchiveRecord {
  ArchiveHeader header;   // unscrambled and checked against the archive's size
  FileHandle file;        // streaming: the archive file, a plain file with a reading thread
  uint8_t* image;         // in memory: the whole archive file (TrackedAlloc)
  uint8_t* info;          // the unscrambled information block, header.infoSize bytes
  uint32_t currentDir;    // the current directory: its record's offset in the directory table
  uint8_t key[ARCHIVE_KEY_SIZE];  // the scrambling key in use
  int32_t inMemory;
  uint32_t archiveSize;   // bytes of the archive file (the image's size in memory)
  int32_t loading;        // in memory: the image is still being read
  int32_t loadFailed;     // in memory: the file came up short; its files do not open
  FileHandle loadFile;    // in memory: the plain file loading the image; 0 when done
};

// Opens the archive file at path: header (tried with the key of keyString, or the
// default key, then with the fallback key) and information block. 0, or -1 when the
// record already holds an archive, the file is missing, the header shows no magic under
// either key, its version is above 3, its offsets and sizes do not fit the file, or
// memory runs out; the record then holds nothing.
int OpenArchiveStreaming(ArchiveRecord* archive, const char* path, const char* keyString);
// As OpenArchiveStreaming, and loads the whole file into memory: in the background when
// asynchronous is 1 (the first lookup waits for it), else before returning.
int OpenArchiveInMemory(ArchiveRecord* archive, const char* path, const char* keyString,
                        int asynchronous);
// Waits for a running load, releases everything and clears the record; 0.
int CloseArchiveRecord(ArchiveRecord* archive);

// Reads count bytes at the archive file's current position, waits for them and
// unscrambles them by their archive offset. 0, or -1 when fewer bytes came.
int ReadArchiveBytes(FileHandle file, void* destination, uint32_t count,
                     const uint8_t key[ARCHIVE_KEY_SIZE]);
// Moves the archive file to an archive offset (any offset below 4 GB); 0 or -1.
int SeekArchiveFile(FileHandle file, uint64_t offset);
// 1 when no in-memory load is running or it has just been completed (the image is then
// unscrambled), 0 while it runs.
int PollArchiveLoad(ArchiveRecord* archive);
// Waits until a running in-memory load has completed.
void FinishArchiveLoad(ArchiveRecord* archive);

// Builds the key of the name that ends at its terminator or at a backslash (a Shift-JIS
// double-byte character is taken whole, so its trail byte is never a separator). The
// number of name bytes taken goes to *length when given. 0, or -1 (units 0) when the
// key would not fit.
int MakeSearchName(const char* name, size_t* length, SearchName* search);
// Moves the current directory into the named subdirectory of it; 0, or -1 and nothing
// moves.
int EnterArchiveSubdir(ArchiveRecord* archive, const SearchName* search);
// "." stays, "\" goes to the root, ".." to the parent (-1 at the root); any other path
// is walked component by component from the current directory, an empty component (a
// leading backslash, or two in a row) going to the root, a trailing backslash ending the
// walk. 0, or -1 when a component cannot be entered: the current directory then goes back
// to where it was with restoreOnFailure 1 and stays where the walk stopped with 0, and
// the key of that component goes to *failed when given.
int ChangeArchiveDir(ArchiveRecord* archive, const char* path, int restoreOnFailure,
                     SearchName* failed);
// The record of the file a path names (from the current directory, components separated
// by backslashes); 0 with the record, or -1 when the path names a directory or nothing.
// The current directory is left unchanged.
int FindArchiveFileRecord(const char* path, ArchiveRecord* archive, ArchiveFileRecord* record);

// Matches a name against a pattern byte by byte, letter case significant: '?' takes any
// one byte, '*' (a run of stars acting as one) takes the bytes up to the first place
// where the pattern's next byte occurs (no backtracking), or the whole rest at the end of
// the pattern; a Shift-JIS double-byte character must match both bytes. 0 on a match,
// else -1.
int MatchWildcard(const char* pattern, const char* name);
