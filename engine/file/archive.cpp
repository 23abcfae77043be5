#include "engine/file/archive.h"

#include "engine/base/memory.h"
#include "engine/base/strutil.h"
#include "engine/file/plainfile.h"

#include <climits>
#include <cstring>

namespace {

bool HoldsArchive(const ArchiveRecord* a) {
  return a->file || a->image || a->info || a->loadFile;
}

// Releases whatever a failed open had taken and leaves the record empty.
int FailOpen(ArchiveRecord* a, FileHandle file) {
  if (file) PlainFileClose(file);
  TrackedFree(a->image);
  TrackedFree(a->info);
  std::memset(a, 0, sizeof *a);
  return -1;
}

// Takes the archive's size, then reads the header (the key of keyString first, the
// fallback key when that shows no magic) and the information block, both checked against
// the size before anything is allocated or read.
int ReadHeaderAndInfo(ArchiveRecord* a, FileHandle file, const char* keyString) {
  if (PlainFileSeek(file, 0, FILE_SEEK_END) != 0) return -1;
  const int64_t size = PlainFileTell(file);
  if (size < ARCHIVE_HEADER_SIZE || size > int64_t(UINT32_MAX)) return -1;
  if (PlainFileSeek(file, 0, FILE_SEEK_SET) != 0) return -1;
  a->archiveSize = uint32_t(size);

  uint8_t bytes[ARCHIVE_HEADER_SIZE];
  BuildArchiveKey(keyString, a->key);
  if (ReadArchiveBytes(file, bytes, sizeof bytes, a->key) != 0) return -1;
  ReadArchiveHeader(bytes, &a->header);
  if (!ArchiveHeaderHasMagic(&a->header)) {
    // The same bytes under the second key: scramble back, unscramble again.
    ApplyArchiveKey(sizeof bytes, bytes, 0, a->key);
    BuildArchiveFallbackKey(a->key);
    ApplyArchiveKey(sizeof bytes, bytes, 0, a->key);
    ReadArchiveHeader(bytes, &a->header);
  }
  if (CheckArchiveHeader(&a->header, a->archiveSize) != 0) return -1;

  a->info = static_cast<uint8_t*>(TrackedAlloc(a->header.infoSize, "", 0));
  if (!a->info) return -1;
  if (SeekArchiveFile(file, a->header.infoOffset) != 0) return -1;
  if (ReadArchiveBytes(file, a->info, a->header.infoSize, a->key) != 0) return -1;
  a->currentDir = 0;  // the root's record comes first
  return 0;
}

// The image has arrived (or the read has ended short): take in how much came, close the
// load file and unscramble the image.
void CompleteLoad(ArchiveRecord* a) {
  int64_t got = PlainFileTell(a->loadFile);
  if (got < 0) got = 0;
  if (got < int64_t(a->archiveSize)) {
    // The file shrank since it was opened: no garbage stays in the image, and no file of
    // the archive opens.
    std::memset(a->image + got, 0, size_t(a->archiveSize - uint64_t(got)));
    a->loadFailed = 1;
  }
  PlainFileClose(a->loadFile);
  a->loadFile = 0;
  ApplyArchiveKey(a->archiveSize, a->image, 0, a->key);
  a->loading = 0;
}

int CurrentDirRecord(const ArchiveRecord* a, ArchiveDirRecord* dir) {
  return ReadArchiveDirRecord(&a->header, a->info, a->currentDir, dir);
}

// Walks a path from the current directory (see ChangeArchiveDir). On failure *end points
// just after the component that could not be entered; key holds that component's key (on
// success the last one's).
int WalkArchivePath(ArchiveRecord* a, const char* path, SearchName* key, const char** end) {
  const char* p = path;
  while (*p) {
    if (*p == '\\') {
      a->currentDir = 0;
      p++;
      continue;
    }
    size_t n = 0;
    const bool entered = MakeSearchName(p, &n, key) == 0 && EnterArchiveSubdir(a, key) == 0;
    p += n;
    if (!entered) {
      *end = p;
      return -1;
    }
    if (*p == '\\') p++;
  }
  *end = p;
  return 0;
}

}  // namespace

// ---- opening and closing --------------------------------------------------------------

int OpenArchiveStreaming(ArchiveRecord* archive, const char* path, const char* keyString) {
  if (!archive || !path || HoldsArchive(archive)) return -1;
  FileHandle file = PlainFileOpen(path, 0, 1, 1);
  if (!file) return -1;
  if (ReadHeaderAndInfo(archive, file, keyString) != 0) return FailOpen(archive, file);
  archive->file = file;
  archive->inMemory = 0;
  return 0;
}

int OpenArchiveInMemory(ArchiveRecord* archive, const char* path, const char* keyString,
                        int asynchronous) {
  if (!archive || !path || HoldsArchive(archive)) return -1;
  FileHandle file = PlainFileOpen(path, 0, 1, asynchronous);
  if (!file) return -1;
  if (ReadHeaderAndInfo(archive, file, keyString) != 0) return FailOpen(archive, file);
  archive->image = static_cast<uint8_t*>(TrackedAlloc(archive->archiveSize, "", 0));
  if (!archive->image || SeekArchiveFile(file, 0) != 0 ||
      PlainFileRead(archive->image, archive->archiveSize, 1, file) != 1)
    return FailOpen(archive, file);
  archive->loadFile = file;
  archive->loading = 1;
  archive->inMemory = 1;
  if (!asynchronous) FinishArchiveLoad(archive);
  return 0;
}

int CloseArchiveRecord(ArchiveRecord* archive) {
  if (!archive || !HoldsArchive(archive)) return 0;
  FinishArchiveLoad(archive);
  if (archive->file) PlainFileClose(archive->file);
  TrackedFree(archive->image);
  TrackedFree(archive->info);
  std::memset(archive, 0, sizeof *archive);
  return 0;
}

int ReadArchiveBytes(FileHandle file, void* destination, uint32_t count,
                     const uint8_t key[ARCHIVE_KEY_SIZE]) {
  if (count == 0) return 0;
  // Earlier commands first, so that the position is where the bytes really start.
  if (PlainFileWaitIdle(file) != 1) return -1;
  const int64_t start = PlainFileTell(file);
  if (start < 0 || PlainFileRead(destination, count, 1, file) != 1) return -1;
  PlainFileWaitIdle(file);
  if (PlainFileTell(file) != start + int64_t(count)) return -1;
  ApplyArchiveKey(count, destination, uint64_t(start), key);
  return 0;
}

int SeekArchiveFile(FileHandle file, uint64_t offset) {
  if (offset > UINT32_MAX) return -1;
  // Seeks take signed 32-bit offsets: reach the far half of the file in steps.
  int origin = FILE_SEEK_SET;
  do {
    const uint64_t step = offset < uint64_t(INT32_MAX) ? offset : uint64_t(INT32_MAX);
    if (PlainFileSeek(file, int32_t(step), origin) != 0) return -1;
    offset -= step;
    origin = FILE_SEEK_CUR;
  } while (offset);
  return 0;
}

int PollArchiveLoad(ArchiveRecord* archive) {
  if (!archive->loading) return 1;
  if (PlainFileIdleCheck(archive->loadFile) != 1) return 0;
  CompleteLoad(archive);
  return 1;
}

void FinishArchiveLoad(ArchiveRecord* archive) {
  while (archive->loading && !PollArchiveLoad(archive)) PlainFileWaitIdle(archive->loadFile);
}

// ---- names and directories ------------------------------------------------------------

int MakeSearchName(const char* name, size_t* length, SearchName* search) {
  size_t n = 0;
  while (name[n] && name[n] != '\\') n += size_t(ShiftJisCharLength(name + n));
  if (length) *length = n;
  if (BuildArchiveKeyName(name, n, search->name, sizeof search->name, &search->units,
                          &search->sum) < 0) {
    search->units = 0;
    search->sum = 0;
    return -1;
  }
  return 0;
}

int EnterArchiveSubdir(ArchiveRecord* archive, const SearchName* search) {
  FinishArchiveLoad(archive);
  if (!archive->info || search->units == 0) return -1;
  ArchiveDirRecord dir, sub;
  ArchiveFileRecord record;
  if (CurrentDirRecord(archive, &dir) != 0) return -1;
  if (FindArchiveDirEntry(&archive->header, archive->info, &dir, search->name, search->units,
                          search->sum, 1, &record, nullptr) != 0)
    return -1;
  // Only a directory record that lies inside the block becomes current.
  if (ReadArchiveDirRecord(&archive->header, archive->info, record.dataOffset, &sub) != 0)
    return -1;
  archive->currentDir = record.dataOffset;
  return 0;
}

int ChangeArchiveDir(ArchiveRecord* archive, const char* path, int restoreOnFailure,
                     SearchName* failed) {
  FinishArchiveLoad(archive);
  if (!archive->info || !path) return -1;
  if (std::strcmp(path, ".") == 0) return 0;
  if (std::strcmp(path, "\\") == 0) {
    archive->currentDir = 0;
    return 0;
  }
  if (std::strcmp(path, "..") == 0) {
    ArchiveDirRecord dir, parent;
    if (CurrentDirRecord(archive, &dir) != 0 || dir.parentOffset == ARCHIVE_NONE) return -1;
    if (ReadArchiveDirRecord(&archive->header, archive->info, dir.parentOffset, &parent) != 0)
      return -1;
    archive->currentDir = dir.parentOffset;
    return 0;
  }
  const uint32_t saved = archive->currentDir;
  SearchName local;
  const char* end = nullptr;
  if (WalkArchivePath(archive, path, failed ? failed : &local, &end) == 0) return 0;
  if (restoreOnFailure) archive->currentDir = saved;
  return -1;
}

int FindArchiveFileRecord(const char* path, ArchiveRecord* archive, ArchiveFileRecord* record) {
  FinishArchiveLoad(archive);
  if (!archive->info || !path) return -1;
  const uint32_t saved = archive->currentDir;
  SearchName key;
  bool search = false;
  if (StrFindChar(path, '\\')) {
    // The directories are walked; the component where the walk stops is the file's name
    // when it is the last one. A path that walks through whole names a directory.
    const char* end = nullptr;
    search = WalkArchivePath(archive, path, &key, &end) != 0 && *end == '\0';
  } else {
    search = MakeSearchName(path, nullptr, &key) == 0;
  }
  int result = -1;
  ArchiveDirRecord dir;
  if (search && CurrentDirRecord(archive, &dir) == 0)
    result = FindArchiveDirEntry(&archive->header, archive->info, &dir, key.name, key.units,
                                 key.sum, 0, record, nullptr);
  archive->currentDir = saved;
  return result;
}

// ---- wildcards ------------------------------------------------------------------------

int MatchWildcard(const char* pattern, const char* name) {
  if (!pattern || !name) return -1;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(pattern);
  const unsigned char* n = reinterpret_cast<const unsigned char*>(name);
  for (;;) {
    if (!*p && !*n) return 0;
    if (*p == '*') {
      while (*p == '*') p++;
      if (!*p) return 0;  // a star at the end takes the rest
      // Only the first place where the pattern's next byte occurs is tried.
      const unsigned char* hit = reinterpret_cast<const unsigned char*>(
          std::strchr(reinterpret_cast<const char*>(n), *p));
      if (!hit) return -1;
      n = hit + 1;
      p++;
    } else if (IsShiftJisLeadByte(*p) && p[1]) {
      if (n[0] != p[0] || n[1] != p[1]) return -1;
      p += 2;
      n += 2;
    } else if (*p == '?') {
      if (!*n) return -1;
      p++;
      n++;
    } else {
      if (*p != *n) return -1;
      p++;
      n++;
    }
    if (!*p && *n) return -1;
    if (!*n && *p) {
      // What is left of the pattern can only be a run of stars taking nothing.
      while (*p == '*') p++;
      return *p ? -1 : 0;
    }
  }
}
