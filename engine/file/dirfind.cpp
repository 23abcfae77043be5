#include "engine/file/dirfind.h"

#include "engine/base/memory.h"
#include "engine/base/strutil.h"
#include "platform/fs/fs.h"
#include "platform/kernel/kernel.h"

#include <cstring>
#include <string>

// ---- current directory ----------------------------------------------------------------

int PlainSetCurrentDir(const char* path) { return PlatSetCurrentDir(path) == 0 ? 1 : 0; }

int PlainGetCurrentDir(char* buffer, size_t capacity) {
  std::string dir;
  if (PlatGetCurrentDir(&dir) != 0) return 0;
  if (!buffer || dir.size() + 1 > capacity) return int(dir.size() + 1);
  std::memcpy(buffer, dir.c_str(), dir.size() + 1);
  return int(dir.size());
}

// ---- dates ----------------------------------------------------------------------------

void UnixTimeToDateFields(int64_t seconds, DateTimeFields* fields) {
  if (!fields) return;
  PlatDateTime t;
  PlatSecondsToLocalTime(seconds, &t);
  *fields = DateTimeFields{t.year, t.month, t.day, t.hour, t.minute, t.second};
}

void FileTimeToDateFields(uint64_t fileTime, DateTimeFields* fields) {
  // 100 ns ticks since 1601-01-01; 11644473600 seconds lie between 1601 and 1970.
  UnixTimeToDateFields(int64_t(fileTime / 10000000ull) - 11644473600ll, fields);
}

void SetFindRecordName(FindRecord* record, const char* name) {
  size_t n = 0;
  while (name[n]) {
    size_t step = size_t(ShiftJisCharLength(name + n));
    if (n + step > FIND_NAME_SIZE - 1) break;
    n += step;
  }
  std::memcpy(record->name, name, n);
  record->name[n] = '\0';
}

// ---- wildcard match -------------------------------------------------------------------

namespace {

char FoldCase(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// The character at p matches the one at n: a double-byte character byte for byte, a
// single byte without regard to letter case.
bool SameChar(const char* p, int pl, const char* n, int nl) {
  if (pl != nl) return false;
  if (pl == 2) return p[0] == n[0] && p[1] == n[1];
  return FoldCase(p[0]) == FoldCase(n[0]);
}

// '*' any run of characters (tried at every place, unlike the archive match), '?' one
// character.
bool Glob(const char* p, const char* n) {
  const char* starP = nullptr;
  const char* starN = nullptr;
  while (*n) {
    if (*p == '*') {
      while (*p == '*') p++;
      starP = p;
      starN = n;
      continue;
    }
    int pl = ShiftJisCharLength(p), nl = ShiftJisCharLength(n);
    if (*p == '?') {
      p++;
      n += nl;
      continue;
    }
    if (*p && SameChar(p, pl, n, nl)) {
      p += pl;
      n += nl;
      continue;
    }
    if (!starP) return false;
    starN += ShiftJisCharLength(starN);
    n = starN;
    p = starP;
  }
  while (*p == '*') p++;
  return *p == '\0';
}

}  // namespace

int MatchFindPattern(const char* pattern, const char* name) {
  if (!pattern || !name) return -1;
  if (Glob(pattern, name)) return 0;
  // The Windows forms that reach names without an extension: "x.*" also matches "x"
  // (so "*.*" matches every name), and "x." matches "x".
  size_t len = std::strlen(pattern);
  if (len >= 2 && pattern[len - 2] == '.' && pattern[len - 1] == '*')
    return Glob(std::string(pattern, len - 2).c_str(), name) ? 0 : -1;
  if (len >= 1 && pattern[len - 1] == '.' && !std::strchr(name, '.'))
    return Glob(std::string(pattern, len - 1).c_str(), name) ? 0 : -1;
  return -1;
}

// ---- directory searches ---------------------------------------------------------------

namespace {

// The state of one search; its address is the find handle. The pattern and the
// directory's path follow the record in the same block.
struct PlainFindState {
  PlatDir* dir;
  int32_t nextPseudo;     // 0 ".", 1 "..", 2 and on: the directory's own entries
  int32_t pseudoEntries;  // 1 outside the root
  char* pattern;
  char* directory;        // as given, with its trailing separator; "" for the current one
};

// The length of the directory part of a path: up to and including its last separator
// or drive colon.
size_t DirectoryPartLength(const char* path) {
  size_t cut = 0;
  for (const char* p = path; *p; p += ShiftJisCharLength(p)) {
    if (*p == '\\' || *p == '/' || *p == ':') cut = size_t(p - path) + 1;
  }
  return cut;
}

void FillFindRecord(const PlatFileInfo& info, FindRecord* record) {
  SetFindRecordName(record, info.name.c_str());
  record->directory = info.isDirectory ? 1 : 0;
  record->size = info.size;
  UnixTimeToDateFields(info.createTime, &record->created);
  UnixTimeToDateFields(info.writeTime, &record->written);
}

int IsRootDirectory(const char* directory) {
  char full[FILE_PATH_MAX];
  if (ResolveFullPath(*directory ? directory : ".", full, sizeof full, nullptr) != 0) return 0;
  return (full[0] == '/' && full[1] == '\0') || (full[0] && full[1] == ':' && full[2] == '\0');
}

int NextMatch(PlainFindState* s, FindRecord* record) {
  while (s->nextPseudo < 2) {
    const int which = s->nextPseudo++;
    const char* name = which == 0 ? "." : "..";
    if (!s->pseudoEntries || MatchFindPattern(s->pattern, name) != 0) continue;
    std::string path = *s->directory ? s->directory : "./";
    if (which == 1) path += "..";
    PlatFileInfo info;
    if (PlatFileStat(path.c_str(), &info) != 0) continue;
    info.name = name;
    info.isDirectory = 1;
    info.size = 0;
    if (record) FillFindRecord(info, record);
    return 0;
  }
  PlatFileInfo info;
  while (PlatDirNext(s->dir, &info)) {
    if (MatchFindPattern(s->pattern, info.name.c_str()) != 0) continue;
    if (record) FillFindRecord(info, record);
    return 0;
  }
  return -1;
}

PlainFindState* FindState(FindHandle find) {
  return find == -1 || find == 0 ? nullptr : reinterpret_cast<PlainFindState*>(find);
}

void FreeFindState(PlainFindState* s) {
  PlatDirClose(s->dir);
  TrackedFree(s);
}

}  // namespace

FindHandle PlainFindFirst(const char* pattern, FindRecord* record) {
  if (!pattern) return -1;
  const size_t dirLength = DirectoryPartLength(pattern);
  const size_t nameLength = std::strlen(pattern + dirLength);
  if (nameLength == 0) return -1;

  PlainFindState* s = static_cast<PlainFindState*>(
      TrackedAlloc(sizeof(PlainFindState) + dirLength + 1 + nameLength + 1, "", 0));
  if (!s) return -1;
  s->directory = reinterpret_cast<char*>(s + 1);
  std::memcpy(s->directory, pattern, dirLength);
  s->directory[dirLength] = '\0';
  s->pattern = s->directory + dirLength + 1;
  std::memcpy(s->pattern, pattern + dirLength, nameLength + 1);
  s->nextPseudo = 0;
  s->dir = PlatDirOpen(s->directory);
  if (!s->dir) {
    TrackedFree(s);
    return -1;
  }
  s->pseudoEntries = IsRootDirectory(s->directory) ? 0 : 1;
  if (NextMatch(s, record) != 0) {
    FreeFindState(s);
    return -1;
  }
  return reinterpret_cast<FindHandle>(s);
}

int PlainFindNext(FindHandle find, FindRecord* record) {
  PlainFindState* s = FindState(find);
  return s ? NextMatch(s, record) : -1;
}

int PlainFindClose(FindHandle find) {
  PlainFindState* s = FindState(find);
  if (!s) return -1;
  FreeFindState(s);
  return 0;
}

// ---- temporary files ------------------------------------------------------------------

PlatFile* CreateTempFile(char* pathOut, size_t capacity) {
  std::string dir = PlatTempDirectory();
  std::string path;
  // The name is taken and the file made in one step, so that no other program can slip
  // a file of its own in between.
  PlatFile* file = PlatCreateTempFile(dir.c_str(), "tmp", &path);
  if (!file) return nullptr;
  if (pathOut) {
    if (path.size() + 1 > capacity) {
      PlatFileClose(file);
      PlatFileDelete(path.c_str());
      return nullptr;
    }
    std::memcpy(pathOut, path.c_str(), path.size() + 1);
  }
  return file;
}

// ---- full paths -----------------------------------------------------------------------

namespace {

struct PathBuilder {
  char* out;
  size_t capacity;
  size_t length;
  bool overflow;

  void Append(const char* text, size_t n) {
    if (overflow) return;
    if (length + n + 1 > capacity) {
      overflow = true;
      return;
    }
    std::memcpy(out + length, text, n);
    length += n;
    out[length] = '\0';
  }
  // Back to the previous separator (dropped) or drive colon (kept).
  void RemoveLastComponent() {
    size_t cut = 0;
    for (size_t i = 0; i < length; i += ShiftJisCharLength(out + i)) {
      if (out[i] == '\\' || out[i] == '/') cut = i;
      else if (out[i] == ':') cut = i + 1;
    }
    length = cut;
    out[length] = '\0';
  }
};

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

int ResolveFullPath(const char* path, char* destination, size_t capacity, const char* base) {
  if (!destination || capacity == 0) return -1;
  destination[0] = '\0';
  char current[FILE_PATH_MAX];
  if (!base) {
    current[0] = '\0';
    FileGetCurrentDir(current, sizeof current);
    current[sizeof current - 1] = '\0';
    if (!current[0]) return -1;
    base = current;
  }
  PathBuilder b{destination, capacity, 0, false};
  if (!path) {
    b.Append(base, std::strlen(base));
    return b.overflow ? -1 : 0;
  }

  const bool baseHasDrive = base[0] && base[1] == ':';
  const char* p = path;
  bool linuxRoot = false;
  if (IsSeparator(p[0])) {
    if (baseHasDrive)
      b.Append(base, 2);
    else
      linuxRoot = true;
    p += 1;
  } else if (p[0] && p[1] == ':') {
    b.Append(p, 2);
    p += IsSeparator(p[2]) ? 3 : 2;
  } else {
    size_t n = std::strlen(base);
    if (n > 0 && IsSeparator(base[n - 1])) n--;
    b.Append(base, n);
    linuxRoot = base[0] == '/';
  }
  const bool windowsForm = (b.length >= 2 && destination[1] == ':') ||
                           (b.length >= 1 && destination[0] == '\\');
  const char separator = windowsForm ? '\\' : '/';

  int result = 0;
  const char* start = p;
  for (;;) {
    const char c = *p;
    if (c != '\0' && !IsSeparator(c)) {
      p += ShiftJisCharLength(p);
      continue;
    }
    const size_t n = size_t(p - start);
    if (n == 0 && c != '\0') {
      result = -1;
      break;
    }
    if (n == 1 && start[0] == '.') {
      // the same directory
    } else if (n == 2 && start[0] == '.' && start[1] == '.') {
      b.RemoveLastComponent();
    } else if (n > 0) {
      b.Append(&separator, 1);
      b.Append(start, n);
    }
    if (c == '\0') break;
    start = ++p;
  }
  if (linuxRoot && b.length == 0) b.Append("/", 1);
  return b.overflow ? -1 : result;
}
