// The directory half of the plain-file set (slots 7 to 11: current directory and
// directory searches), the date fields shared with the archive-aware set, and two
// utilities of the file layer: temporary files and full paths.
#pragma once

#include "engine/file/file.h"

#include <cstddef>
#include <cstdint>

struct PlatFile;

// Non-zero when the directory became current, 0 when not.
int PlainSetCurrentDir(const char* path);
// The length of the current directory written to the buffer (zero-terminated); when it
// does not fit, the buffer is left alone and the result is the size it needs; 0 when the
// directory cannot be had.
int PlainGetCurrentDir(char* buffer, size_t capacity);

// A search of the directory named by the pattern's path for the names that its last
// component matches, as the Windows file functions match them: letters without regard to
// case, '*' any run of characters, '?' any one character, "*.*" every name. Outside the
// root the entries "." and ".." come first. The record (may be null) receives the entry.
// Returns the find handle, or -1 when nothing matches.
FindHandle PlainFindFirst(const char* pattern, FindRecord* record);
// 0 and the next matching entry, or -1 when there is none.
int PlainFindNext(FindHandle find, FindRecord* record);
// 0, or -1 for a handle that is no search.
int PlainFindClose(FindHandle find);

// Copies a name into the record's name field, cut to fit at a character boundary.
void SetFindRecordName(FindRecord* record, const char* name);

// 0 when the name matches the pattern in the way PlainFindFirst matches, else -1.
int MatchFindPattern(const char* pattern, const char* name);

// Local date fields of a moment in seconds since 1970 (UTC).
void UnixTimeToDateFields(int64_t seconds, DateTimeFields* fields);
// Local date fields of a Windows file time (100 ns units since 1601, UTC), as archive
// records store it.
void FileTimeToDateFields(uint64_t fileTime, DateTimeFields* fields);

// A new, empty file whose name begins with "tmp" in the system's temporary directory,
// open for writing; the caller writes, closes and later deletes it. Its full path goes to
// pathOut (capacity bytes) when given. Null when no file can be made, or when the path
// does not fit (no file is then left behind); pathOut is written only on success.
PlatFile* CreateTempFile(char* pathOut, size_t capacity);

// Makes a full path of `path` relative to `base` (the current directory, through
// FileGetCurrentDir, when base is null) into destination (capacity bytes). Windows forms
// and Linux forms both work: a drive ("C:") or a leading separator starts over from the
// drive, or from the root "/" when the base has no drive; "." is dropped; ".." removes
// the last component (never past a drive or the root). Components are joined with '\'
// under a drive and with '/' otherwise; letters keep their case. Returns 0, or -1 on an
// empty component (two separators in a row) or when the result does not fit; the
// destination then holds the part built so far.
int ResolveFullPath(const char* path, char* destination, size_t capacity, const char* base);
