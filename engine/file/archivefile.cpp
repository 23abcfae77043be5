#include "engine/file/archivefile.h"

#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/base/strutil.h"
#include "engine/file/dirfind.h"
#include "engine/file/plainfile.h"

#include <cstring>
#include <string>

const FileFunctionTable ArchiveAwareFileFunctionSet = {
    .open = OpenFileEntry,
    .close = ArchiveAwareClose,
    .tell = ArchiveAwareTell,
    .seek = ArchiveAwareSeek,
    .read = ArchiveAwareRead,
    .eof = ArchiveAwareEof,
    .idleCheck = ArchiveAwareIdleCheck,
    .setCurrentDir = ArchiveAwareSetCurrentDir,
    .getCurrentDir = ArchiveAwareGetCurrentDir,
    .findFirst = ArchiveAwareFindFirst,
    .findNext = ArchiveAwareFindNext,
    .findClose = ArchiveAwareFindClose,
};

namespace {

enum { FILE_KIND_DISK = 0, FILE_KIND_ARCHIVE = 1 };

struct FileHandleEntry {
  int32_t kind;
  FileHandle plainFile;      // on disk
  int32_t archiveSlot;       // inside an archive: its slot in the open-archive table
  ArchiveFileEntry archiveFile;
};

struct OpenArchiveSlot {
  int32_t references;        // open files and searches using the archive
  ArchiveRecord archive;
  char path[FILE_PATH_MAX];  // full, upper case, as opened
};

// The address of this record is the find handle.
struct FindHandleRecord {
  int32_t kind;
  int32_t archiveSlot;
  FindHandle plain;
  ArchiveSearch* search;
};

struct ArchiveTableState {
  FileHandleEntry* files[ARCHIVE_FILE_HANDLES];
  int32_t fileCount;
  OpenArchiveSlot* archives[ARCHIVE_TABLE_SLOTS];
  int32_t archiveCount;
  // The archive found last: its path, the length of the directory it stands for (0: no
  // entry) and its slot.
  char lastHitPath[FILE_PATH_MAX];
  size_t lastHitPrefix;
  int32_t lastHitSlot;
  char extension[ARCHIVE_EXTENSION_SIZE];  // empty: "KRA"
  char keyString[ARCHIVE_EXTENSION_SIZE];
  int32_t keyStringOn;
};

ArchiveTableState g_tables;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

FileHandleEntry* Entry(FileHandle file) {
  if ((file & ~uintptr_t(0x0FFFFFFF)) != ARCHIVE_FILE_HANDLE_BITS) return nullptr;
  const uintptr_t slot = file & 0x0FFFFFFF;
  return slot < ARCHIVE_FILE_HANDLES ? g_tables.files[slot] : nullptr;
}

FindHandleRecord* FindEntry(FindHandle find) {
  return find == -1 || find == 0 ? nullptr : reinterpret_cast<FindHandleRecord*>(find);
}

OpenArchiveSlot* Slot(int slot) {
  return slot >= 0 && uint32_t(slot) < ARCHIVE_TABLE_SLOTS ? g_tables.archives[slot] : nullptr;
}

int CopyText(char* destination, size_t capacity, const char* text, size_t length) {
  if (!destination) return 0;
  if (length + 1 > capacity) return -1;
  std::memcpy(destination, text, length);
  destination[length] = '\0';
  return 0;
}

// ---- files inside archives ------------------------------------------------------------

int FailFileOpen(ArchiveFileEntry* e) {
  TrackedFree(e->decoded);
  TrackedFree(e->compressed);
  std::memset(e, 0, sizeof *e);
  return -1;
}

bool DecodeBlock(ArchiveFileEntry* e) {
  return DecodeArchiveData(e->compressed, e->record.compressedSize, e->decoded, e->record.size) ==
         int64_t(e->record.size);
}

void WaitForPending(ArchiveFileEntry* e) {
  while (!ArchiveFilePoll(e)) PlainFileWaitIdle(e->archive->file);
}

}  // namespace

int ArchiveFileOpen(ArchiveFileEntry* entry, ArchiveRecord* archive, const char* innerPath,
                    int asynchronous) {
  std::memset(entry, 0, sizeof *entry);
  if (!archive || !innerPath) return -1;
  FinishArchiveLoad(archive);
  ArchiveFileRecord record;
  if (archive->loadFailed || FindArchiveFileRecord(innerPath, archive, &record) != 0) return -1;
  // The stored bytes lie inside the archive (and a block's claimed size is one its
  // length can decode to) before anything is allocated or read.
  if (CheckArchiveFileData(&archive->header, &record, archive->archiveSize) != 0) return -1;
  entry->archive = archive;
  entry->record = record;
  entry->asynchronous = asynchronous ? 1 : 0;
  if (!ArchiveFileIsCompressed(&archive->header, &record)) return 0;

  entry->decoded = static_cast<uint8_t*>(TrackedAlloc(record.size ? record.size : 1, "", 0));
  if (!entry->decoded) return FailFileOpen(entry);
  const uint64_t start = ArchiveFileDataStart(&archive->header, &record);
  if (archive->inMemory) {
    entry->compressed = archive->image + start;
    const bool decoded = DecodeBlock(entry);
    entry->compressed = nullptr;
    return decoded ? 0 : FailFileOpen(entry);
  }
  entry->compressed = static_cast<uint8_t*>(TrackedAlloc(record.compressedSize, "", 0));
  if (!entry->compressed || SeekArchiveFile(archive->file, start) != 0)
    return FailFileOpen(entry);
  if (entry->asynchronous) {
    if (PlainFileRead(entry->compressed, record.compressedSize, 1, archive->file) != 1)
      return FailFileOpen(entry);
    entry->pending = ARCHIVE_PENDING_BLOCK;
    entry->pendingOffset = start;
    return 0;
  }
  if (ReadArchiveBytes(archive->file, entry->compressed, record.compressedSize, archive->key) != 0 ||
      !DecodeBlock(entry))
    return FailFileOpen(entry);
  TrackedFree(entry->compressed);
  entry->compressed = nullptr;
  return 0;
}

int ArchiveFilePoll(ArchiveFileEntry* entry) {
  if (!entry->asynchronous || entry->pending == ARCHIVE_PENDING_NONE) return 1;
  ArchiveRecord* a = entry->archive;
  if (PlainFileIdleCheck(a->file) != 1) return 0;
  if (entry->pending == ARCHIVE_PENDING_BLOCK) {
    ApplyArchiveKey(entry->record.compressedSize, entry->compressed, entry->pendingOffset, a->key);
    // Too late to fail the open: a block that does not decode reads as nothing.
    if (!DecodeBlock(entry)) entry->failed = 1;
    TrackedFree(entry->compressed);
    entry->compressed = nullptr;
  } else {
    ApplyArchiveKey(entry->pendingCount, entry->pendingDestination, entry->pendingOffset, a->key);
    entry->pendingDestination = nullptr;
  }
  entry->pending = ARCHIVE_PENDING_NONE;
  return 1;
}

int64_t ArchiveFileRead(ArchiveFileEntry* entry, void* destination, uint64_t bytes) {
  WaitForPending(entry);
  if (entry->failed) entry->endFlag = 1;
  if (entry->endFlag) return 0;
  const uint32_t size = entry->record.size;
  if (entry->position >= size) {
    entry->endFlag = 1;
    return 0;
  }
  const uint32_t left = size - entry->position;
  const uint32_t n = bytes < left ? uint32_t(bytes) : left;
  if (n == 0) return 0;
  ArchiveRecord* a = entry->archive;
  const uint64_t offset = ArchiveFileDataStart(&a->header, &entry->record) + entry->position;
  if (entry->decoded) {
    std::memcpy(destination, entry->decoded + entry->position, n);
  } else if (a->inMemory) {
    std::memcpy(destination, a->image + offset, n);
  } else {
    PlainFileWaitIdle(a->file);
    if (PlainFileTell(a->file) != int64_t(offset) && SeekArchiveFile(a->file, offset) != 0)
      return 0;
    if (entry->asynchronous) {
      if (PlainFileRead(destination, n, 1, a->file) != 1) return 0;
      entry->pending = ARCHIVE_PENDING_READ;
      entry->pendingOffset = offset;
      entry->pendingDestination = static_cast<uint8_t*>(destination);
      entry->pendingCount = n;
    } else if (ReadArchiveBytes(a->file, destination, n, a->key) != 0) {
      return 0;
    }
  }
  entry->position += n;
  entry->endFlag = 0;
  return n;
}

int ArchiveFileSeek(ArchiveFileEntry* entry, int32_t offset, int origin) {
  WaitForPending(entry);
  int64_t target;
  if (SeekTarget(entry->position, entry->record.size, offset, origin, &target) != 0) return -1;
  if (target < 0) target = 0;
  if (target > int64_t(entry->record.size)) target = entry->record.size;
  entry->position = uint32_t(target);
  entry->endFlag = 0;
  return 0;
}

int64_t ArchiveFileTell(ArchiveFileEntry* entry) {
  WaitForPending(entry);
  return entry->position;
}

int ArchiveFileEof(ArchiveFileEntry* entry) {
  WaitForPending(entry);
  return entry->endFlag ? -1 : 0;
}

int ArchiveFileClose(ArchiveFileEntry* entry) {
  if (entry->archive) WaitForPending(entry);
  TrackedFree(entry->decoded);
  TrackedFree(entry->compressed);
  std::memset(entry, 0, sizeof *entry);
  return 0;
}

// ---- tables ---------------------------------------------------------------------------

int InitArchiveTables() {
  std::memset(&g_tables, 0, sizeof g_tables);
  return 0;
}

void CloseUnusedArchives() {
  const int32_t total = g_tables.archiveCount;
  int32_t seen = 0;
  for (uint32_t i = 0; i < ARCHIVE_TABLE_SLOTS && seen < total; i++) {
    OpenArchiveSlot* s = g_tables.archives[i];
    if (!s) continue;
    seen++;
    if (s->references > 0) continue;
    CloseArchiveRecord(&s->archive);
    TrackedFree(s);
    g_tables.archives[i] = nullptr;
    g_tables.archiveCount--;
  }
}

int EndArchives() {
  CloseUnusedArchives();
  return 0;
}

int OpenArchive(int hint, const char* path, int inMemory, int asynchronous) {
  if (!path) return -1;
  const size_t length = std::strlen(path);
  if (length >= FILE_PATH_MAX) return -1;
  if (OpenArchiveSlot* s = Slot(hint); s && std::strcmp(s->path, path) == 0) {
    s->references++;
    return hint;
  }
  int empty = -1;
  int32_t seen = 0;
  for (uint32_t i = 0; i < ARCHIVE_TABLE_SLOTS && seen < g_tables.archiveCount; i++) {
    OpenArchiveSlot* s = g_tables.archives[i];
    if (!s) {
      empty = int(i);
      continue;
    }
    seen++;
    if (std::strcmp(s->path, path) == 0) {
      s->references++;
      return int(i);
    }
  }
  if (uint32_t(g_tables.archiveCount) >= ARCHIVE_TABLE_SLOTS) {
    CloseUnusedArchives();
    if (uint32_t(g_tables.archiveCount) >= ARCHIVE_TABLE_SLOTS) return -1;
    empty = -1;
  }
  if (empty < 0) {
    for (uint32_t i = 0; i < ARCHIVE_TABLE_SLOTS && empty < 0; i++)
      if (!g_tables.archives[i]) empty = int(i);
  }

  ArchiveRecord record;
  std::memset(&record, 0, sizeof record);
  const char* key = g_tables.keyStringOn ? g_tables.keyString : nullptr;
  const int opened = inMemory == 1 ? OpenArchiveInMemory(&record, path, key, asynchronous)
                                   : OpenArchiveStreaming(&record, path, key);
  if (opened != 0) return -1;
  OpenArchiveSlot* s = static_cast<OpenArchiveSlot*>(TrackedAlloc(sizeof(OpenArchiveSlot), "", 0));
  if (!s) {
    CloseArchiveRecord(&record);
    return -1;
  }
  s->archive = record;
  s->references = 1;
  std::memcpy(s->path, path, length + 1);
  g_tables.archives[empty] = s;
  g_tables.archiveCount++;
  return empty;
}

void ReleaseArchive(int slot) {
  OpenArchiveSlot* s = Slot(slot);
  if (s && s->references > 0) s->references--;
}

int32_t GetOpenArchiveCount() { return g_tables.archiveCount; }
int32_t GetArchiveReferences(int slot) {
  OpenArchiveSlot* s = Slot(slot);
  return s ? s->references : -1;
}
int32_t GetOpenFileCount() { return g_tables.fileCount; }

int SetArchiveExtension(const char* extension) {
  const char* text = extension ? extension : "";
  return CopyText(g_tables.extension, sizeof g_tables.extension, text, std::strlen(text));
}

int SetArchiveKeyString(const char* keyString) {
  g_tables.keyStringOn = 0;
  if (!keyString) return 0;
  if (CopyText(g_tables.keyString, sizeof g_tables.keyString, keyString, std::strlen(keyString)) != 0)
    return -1;
  g_tables.keyStringOn = 1;
  return 0;
}

int FindArchiveForPath(const char* path, int* slot, char* archivePath, size_t archiveCapacity,
                       char* innerPath, size_t innerCapacity) {
  char full[FILE_PATH_MAX];
  if (!path || MakeFullUpperPath(path, full, sizeof full) != 0) return -2;
  const size_t fullLength = std::strlen(full);

  int found = -1;
  size_t inner = 0;
  // The last hit: a path below the directory it stands for reopens it at once.
  const size_t cached = g_tables.lastHitPrefix;
  if (cached && cached < fullLength && std::memcmp(full, g_tables.lastHitPath, cached) == 0 &&
      IsSeparator(full[cached])) {
    found = OpenArchive(g_tables.lastHitSlot, g_tables.lastHitPath, 0, 0);
    if (found >= 0) {
      g_tables.lastHitSlot = found;
      inner = cached + 1;
    } else {
      g_tables.lastHitPrefix = 0;  // the archive is gone: search afresh
    }
  }
  if (found < 0) {
    const char* extension = g_tables.extension[0] ? g_tables.extension : "KRA";
    const size_t extensionLength = std::strlen(extension);
    char candidate[FILE_PATH_MAX];
    // The root of a Linux path (or a leading backslash) starts the first prefix.
    size_t pos = IsSeparator(full[0]) ? 1 : 0;
    for (;;) {
      size_t end = pos;
      while (full[end] && !IsSeparator(full[end])) end += size_t(ShiftJisCharLength(full + end));
      // The last component is the name itself; an empty one ends the search too.
      if (!full[end] || end == pos) break;
      if (end + 1 + extensionLength + 1 > sizeof candidate) break;
      std::memcpy(candidate, full, end);
      candidate[end] = '.';
      std::memcpy(candidate + end + 1, extension, extensionLength + 1);
      found = OpenArchive(-1, candidate, 0, 0);
      if (found >= 0) {
        std::memcpy(g_tables.lastHitPath, candidate, end + 1 + extensionLength + 1);
        g_tables.lastHitPrefix = end;
        g_tables.lastHitSlot = found;
        inner = end + 1;
        break;
      }
      pos = end + 1;
    }
  }
  if (found < 0) return -1;

  // The rest of the path inside the archive, with the archive's separator.
  std::string rest;
  for (const char* p = full + inner; *p;) {
    const int n = ShiftJisCharLength(p);
    rest.append(p, size_t(n));
    if (n == 1 && *p == '/') rest.back() = '\\';
    p += n;
  }
  const char* archive = g_tables.archives[found]->path;
  if (CopyText(innerPath, innerCapacity, rest.c_str(), rest.size()) != 0 ||
      CopyText(archivePath, archiveCapacity, archive, std::strlen(archive)) != 0) {
    ReleaseArchive(found);
    return -2;
  }
  if (slot)
    *slot = found;
  else
    ReleaseArchive(found);
  return 0;
}

// ---- paths ----------------------------------------------------------------------------

int MakeFullUpperPath(const char* path, char* fullPath, size_t capacity) {
  char current[FILE_PATH_MAX];
  const int n = PlainGetCurrentDir(current, sizeof current);
  if (n <= 0 || size_t(n) >= sizeof current) return -1;
  StrToUpper(current);
  if (!path) return CopyText(fullPath, capacity, current, size_t(n));
  // Upper-cased, with each run of separators taken as one: empty components are skipped.
  std::string clean;
  bool afterSeparator = false;
  for (const char* p = path; *p;) {
    const int step = ShiftJisCharLength(p);
    if (step == 2) {
      clean.append(p, 2);
      afterSeparator = false;
    } else if (IsSeparator(*p)) {
      if (!afterSeparator) clean += *p;
      afterSeparator = true;
    } else {
      clean += *p >= 'a' && *p <= 'z' ? char(*p - 'a' + 'A') : *p;
      afterSeparator = false;
    }
    p += step;
  }
  return ResolveFullPath(clean.c_str(), fullPath, capacity, current) == 0 ? 0 : -1;
}

int SplitPathName(const char* path, char* name, size_t nameCapacity, char* directory,
                  size_t directoryCapacity) {
  if (!path) return -1;
  const char* cut = nullptr;
  for (const char* p = path; *p; p += ShiftJisCharLength(p))
    if (IsSeparator(*p) || *p == ':') cut = p;
  const char* nameStart = cut ? cut + 1 : path;
  const size_t directoryLength = cut ? size_t(cut - path) : 0;
  if (CopyText(name, nameCapacity, nameStart, std::strlen(nameStart)) != 0) return -1;
  return CopyText(directory, directoryCapacity, path, directoryLength);
}

// ---- searches inside archives ---------------------------------------------------------

ArchiveSearch* ArchiveDirFindFirst(ArchiveRecord* archive, const char* path, FindRecord* record) {
  if (!archive || !path) return nullptr;
  FinishArchiveLoad(archive);
  if (!archive->info) return nullptr;
  char pattern[ARCHIVE_PATTERN_SIZE];
  char directory[FILE_PATH_MAX];
  if (SplitPathName(path, pattern, sizeof pattern, directory, sizeof directory) != 0)
    return nullptr;
  StrToUpper(pattern);
  StrToUpper(directory);
  ArchiveSearch* s = static_cast<ArchiveSearch*>(TrackedAlloc(sizeof(ArchiveSearch), "", 0));
  if (!s) return nullptr;
  s->archive = archive;
  std::memcpy(s->pattern, pattern, sizeof pattern);
  const uint32_t saved = archive->currentDir;
  const bool reached = !directory[0] || ChangeArchiveDir(archive, directory, 0, nullptr) == 0;
  s->directory = archive->currentDir;
  archive->currentDir = saved;
  s->nextIndex = 0;
  if (!reached || ArchiveDirFindNext(s, record) != 0) {
    TrackedFree(s);
    return nullptr;
  }
  s->nextIndex++;
  return s;
}

int ArchiveDirFindNext(ArchiveSearch* search, FindRecord* record) {
  ArchiveRecord* a = search->archive;
  FinishArchiveLoad(a);
  ArchiveDirRecord dir;
  if (ReadArchiveDirRecord(&a->header, a->info, search->directory, &dir) != 0) return -1;
  // "." always, ".." where there is a parent, then the records.
  const int64_t pseudo = dir.parentOffset == ARCHIVE_NONE ? 1 : 2;
  for (int64_t i = search->nextIndex > 0 ? search->nextIndex : 0;; i++) {
    if (i < pseudo) {
      const char* name = i == 0 ? "." : "..";
      if (MatchWildcard(search->pattern, name) != 0) continue;
      search->nextIndex = int32_t(i);
      if (record) {
        std::memset(record, 0, sizeof *record);
        SetFindRecordName(record, name);
        record->directory = 1;
      }
      return 0;
    }
    if (i - pseudo >= int64_t(dir.fileCount)) return -1;
    ArchiveFileRecord entry;
    if (ReadArchiveDirEntry(&a->header, a->info, &dir, uint32_t(i - pseudo), &entry) != 0)
      return -1;
    ArchiveNameRecord name;
    if (ReadArchiveNameRecord(&a->header, a->info, entry.nameOffset, &name) != 0) continue;
    // A key name without a terminator inside its units matches nothing.
    const char* key = reinterpret_cast<const char*>(name.key);
    if (!std::memchr(key, 0, size_t(name.units) * 4)) continue;
    if (MatchWildcard(search->pattern, key) != 0) continue;
    search->nextIndex = int32_t(i);
    if (record) {
      SetFindRecordName(record, name.name);
      record->directory = (entry.attributes & ARCHIVE_ATTR_DIRECTORY) ? 1 : 0;
      record->size = entry.size;
      FileTimeToDateFields(entry.createTime, &record->created);
      FileTimeToDateFields(entry.writeTime, &record->written);
    }
    return 0;
  }
}

// ---- the archive-aware set ------------------------------------------------------------

FileHandle OpenFileEntry(const char* path, int useCache, int, int asynchronous) {
  if (uint32_t(g_tables.fileCount) >= ARCHIVE_FILE_HANDLES) {
    WriteLog("同時に開けるファイルの数が限界を超えました\n");
    return 0;
  }
  uint32_t slot = 0;
  while (g_tables.files[slot]) slot++;
  FileHandleEntry* e = static_cast<FileHandleEntry*>(TrackedCalloc(sizeof(FileHandleEntry), "", 0));
  if (!e) {
    WriteLog("ファイルの情報を格納するメモリの確保に失敗しました\n");
    return 0;
  }
  int archiveSlot = -1;
  char inner[FILE_PATH_MAX];
  const int found = FindArchiveForPath(path, &archiveSlot, nullptr, 0, inner, sizeof inner);
  if (found == 0) {
    e->kind = FILE_KIND_ARCHIVE;
    e->archiveSlot = archiveSlot;
    if (ArchiveFileOpen(&e->archiveFile, &g_tables.archives[archiveSlot]->archive, inner,
                        asynchronous) != 0) {
      ReleaseArchive(archiveSlot);
      TrackedFree(e);
      return 0;
    }
  } else if (found == -1) {
    e->kind = FILE_KIND_DISK;
    e->plainFile = PlainFileOpen(path, useCache, 1, asynchronous);
    if (!e->plainFile) {
      TrackedFree(e);
      return 0;
    }
  } else {
    TrackedFree(e);
    return 0;
  }
  g_tables.files[slot] = e;
  g_tables.fileCount++;
  return FileHandle(slot) | ARCHIVE_FILE_HANDLE_BITS;
}

int ArchiveAwareClose(FileHandle file) {
  FileHandleEntry* e = Entry(file);
  if (!e) return -1;
  if (e->kind == FILE_KIND_DISK) {
    PlainFileClose(e->plainFile);
  } else {
    ReleaseArchive(e->archiveSlot);
    ArchiveFileClose(&e->archiveFile);
  }
  TrackedFree(e);
  g_tables.files[file & 0x0FFFFFFF] = nullptr;
  g_tables.fileCount--;
  return 0;
}

int64_t ArchiveAwareTell(FileHandle file) {
  FileHandleEntry* e = Entry(file);
  if (!e) return -1;
  return e->kind == FILE_KIND_DISK ? PlainFileTell(e->plainFile) : ArchiveFileTell(&e->archiveFile);
}

int ArchiveAwareSeek(FileHandle file, int32_t offset, int origin) {
  FileHandleEntry* e = Entry(file);
  if (!e) return -1;
  return e->kind == FILE_KIND_DISK ? PlainFileSeek(e->plainFile, offset, origin)
                                   : ArchiveFileSeek(&e->archiveFile, offset, origin);
}

int64_t ArchiveAwareRead(void* destination, uint32_t size, uint32_t count, FileHandle file) {
  FileHandleEntry* e = Entry(file);
  if (!e) return -1;
  if (e->kind == FILE_KIND_DISK) return PlainFileRead(destination, size, count, e->plainFile);
  if (size == 0) return 0;
  return ArchiveFileRead(&e->archiveFile, destination, uint64_t(size) * count) / size;
}

int ArchiveAwareEof(FileHandle file) {
  FileHandleEntry* e = Entry(file);
  if (!e) return -1;
  return e->kind == FILE_KIND_DISK ? PlainFileEof(e->plainFile) : ArchiveFileEof(&e->archiveFile);
}

int ArchiveAwareIdleCheck(FileHandle file) {
  FileHandleEntry* e = Entry(file);
  if (!e) return -1;
  return e->kind == FILE_KIND_DISK ? PlainFileIdleCheck(e->plainFile)
                                   : ArchiveFilePoll(&e->archiveFile);
}

int ArchiveAwareSetCurrentDir(const char* path) {
  PlainSetCurrentDir(path);
  return 0;
}

int ArchiveAwareGetCurrentDir(char* buffer, size_t capacity) {
  const int n = PlainGetCurrentDir(buffer, capacity);
  if ((n <= 0 || size_t(n) >= capacity) && buffer && capacity) buffer[0] = '\0';
  return 0;
}

FindHandle ArchiveAwareFindFirst(const char* pattern, FindRecord* record) {
  FindHandleRecord* h =
      static_cast<FindHandleRecord*>(TrackedCalloc(sizeof(FindHandleRecord), "", 0));
  if (!h) return -1;
  int slot = -1;
  char inner[FILE_PATH_MAX];
  const int found = FindArchiveForPath(pattern, &slot, nullptr, 0, inner, sizeof inner);
  if (found == -1) {
    h->kind = FILE_KIND_DISK;
    h->plain = PlainFindFirst(pattern, record);
    if (h->plain != -1) return reinterpret_cast<FindHandle>(h);
  } else if (found == 0) {
    h->kind = FILE_KIND_ARCHIVE;
    h->archiveSlot = slot;
    h->search = ArchiveDirFindFirst(&g_tables.archives[slot]->archive, inner, record);
    if (h->search) return reinterpret_cast<FindHandle>(h);
    ReleaseArchive(slot);
  }
  TrackedFree(h);
  return -1;
}

int ArchiveAwareFindNext(FindHandle find, FindRecord* record) {
  FindHandleRecord* h = FindEntry(find);
  if (!h) return -1;
  if (h->kind == FILE_KIND_DISK) return PlainFindNext(h->plain, record);
  if (ArchiveDirFindNext(h->search, record) != 0) return -1;
  h->search->nextIndex++;
  return 0;
}

int ArchiveAwareFindClose(FindHandle find) {
  FindHandleRecord* h = FindEntry(find);
  if (!h) return -1;
  if (h->kind == FILE_KIND_DISK) {
    PlainFindClose(h->plain);
  } else {
    TrackedFree(h->search);
    ReleaseArchive(h->archiveSlot);
  }
  TrackedFree(h);
  return 0;
}
