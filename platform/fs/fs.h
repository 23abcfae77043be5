// Files and directories. Paths and names cross this boundary as Shift-JIS text in the
// Windows style or the POSIX style: both separators are accepted, a leading '/' is the
// root, and a leading drive ("C:\") names the root too. Where the exact name is missing
// on the case-sensitive disk, each path component is matched without regard to case,
// as users of the Windows program expect.
#pragma once

#include <cstdint>
#include <string>

// Maps a path to the file system's form (UTF-8, '/' separators, case-insensitive match
// per component). Returns 1 when the mapped path names an existing entry, else 0 (the
// output then holds the components matched so far followed by the rest as given).
int PlatFsMapPath(const char* path, std::string* mapped);

enum { PLAT_FILE_READ = 1, PLAT_FILE_WRITE = 2 };
enum {
  PLAT_CREATE_NEW = 1,         // fails when the file exists
  PLAT_CREATE_ALWAYS = 2,      // creates or truncates
  PLAT_OPEN_EXISTING = 3,      // fails when the file is missing
  PLAT_OPEN_ALWAYS = 4,        // opens or creates
  PLAT_TRUNCATE_EXISTING = 5,  // opens and truncates; fails when missing
};
enum { PLAT_SEEK_SET = 0, PLAT_SEEK_CUR = 1, PLAT_SEEK_END = 2 };

struct PlatFile;
// Opens a regular file; null on failure (directories are refused).
PlatFile* PlatFileOpen(const char* path, int access, int disposition);
void PlatFileClose(PlatFile* file);
// Bytes read or written (short at the end of the file), or -1 on failure.
int64_t PlatFileRead(PlatFile* file, void* buffer, int64_t count);
int64_t PlatFileWrite(PlatFile* file, const void* buffer, int64_t count);
// New position, or -1 (a position before the start is refused and nothing moves).
int64_t PlatFileSeek(PlatFile* file, int64_t offset, int origin);
int64_t PlatFileTell(PlatFile* file);
int64_t PlatFileSize(PlatFile* file);
// Number of reads that reached the OS since the program started (tests count them).
uint64_t PlatFsReadCount();
// Number of directories read whole to match a name without regard to case (tests count
// them: an unchanged directory is read once, then matched from memory).
uint64_t PlatFsDirectoryReadCount();
// Tests only: the wall clock (nanoseconds since 1970) against which a directory's change
// time is judged old enough for its listing to be kept (null: the system's).
typedef int64_t (*PlatFsClock)();
void PlatFsSetListingClock(PlatFsClock clock);
// Tests only: a function called on the reading thread before every read reaches the OS,
// so that a test can hold a read in flight (null removes it).
typedef void (*PlatFsReadHook)(void* context);
void PlatFsSetReadHook(PlatFsReadHook hook, void* context);

struct PlatFileInfo {
  std::string name;  // Shift-JIS, no directory part
  int isDirectory = 0;
  uint64_t size = 0;
  int64_t createTime = 0;  // seconds since 1970 (UTC)
  int64_t writeTime = 0;
};
// 0 and the entry's facts, or -1 when the path names nothing.
int PlatFileStat(const char* path, PlatFileInfo* info);
int PlatFileDelete(const char* path);
int PlatMakeDirectory(const char* path);
int PlatRemoveDirectory(const char* path);

// The current directory as Shift-JIS text ('/' separators, no trailing separator but
// for the root); 0 or -1.
int PlatGetCurrentDir(std::string* dir);
int PlatSetCurrentDir(const char* dir);

// Directory listing: every entry but "." and "..", in the order the disk gives.
struct PlatDir;
PlatDir* PlatDirOpen(const char* path);
// 1 and the next entry, or 0 at the end.
int PlatDirNext(PlatDir* dir, PlatFileInfo* info);
void PlatDirClose(PlatDir* dir);

// Creates a new, empty file named prefix + a unique part in the directory (atomically:
// the name is never taken twice), open for reading and writing; its full path
// (Shift-JIS) goes to *path. Null on failure.
PlatFile* PlatCreateTempFile(const char* dir, const char* prefix, std::string* path);
// The directory for temporary files (TMPDIR or /tmp), Shift-JIS.
std::string PlatTempDirectory();
