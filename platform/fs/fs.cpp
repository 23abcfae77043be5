#include "platform/fs/fs.h"

#include "platform/text/text.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<uint64_t> g_readCount{0};
std::atomic<PlatFsReadHook> g_readHook{nullptr};
std::atomic<void*> g_readHookContext{nullptr};

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

bool EqualNoCase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; i++) {
    unsigned char x = (unsigned char)a[i], y = (unsigned char)b[i];
    if (x >= 'A' && x <= 'Z') x = x - 'A' + 'a';
    if (y >= 'A' && y <= 'Z') y = y - 'A' + 'a';
    if (x != y) return false;
  }
  return true;
}

// UTF-8 with '/' separators; a leading drive ("C:") is dropped so that "C:\x" is "/x".
std::string ToOsForm(const char* path) {
  std::string utf8 = PlatSjisToUtf8(path);
  for (char& c : utf8)
    if (c == '\\') c = '/';
  if (utf8.size() >= 2 && utf8[1] == ':' &&
      ((utf8[0] >= 'A' && utf8[0] <= 'Z') || (utf8[0] >= 'a' && utf8[0] <= 'z'))) {
    utf8.erase(0, 2);
    if (utf8.empty() || utf8[0] != '/') utf8.insert(utf8.begin(), '/');
  }
  return utf8;
}

// Listings of the directories that case-insensitive lookups read, so that a name missing
// from a directory that has not changed costs a stat rather than a read of the whole
// directory (a program looks for many companions and archives that are not there). A
// listing serves while the directory's identity and change times are those it was read
// with, and is kept only when those times lay well before the reading began: a change
// made after that must then give other times, even on a file system whose stamps are
// whole seconds (which show no fraction) or one clock tick coarse.
struct Listing {
  std::string path;
  dev_t device = 0;
  ino_t inode = 0;
  timespec changed{}, modified{};
  std::vector<std::string> names;  // in the disk's order
  uint64_t used = 0;               // 0: an empty slot
};

constexpr int kListings = 8;
std::mutex g_listingLock;
Listing g_listings[kListings];
uint64_t g_listingUse = 0;
std::atomic<uint64_t> g_directoryReads{0};
std::atomic<PlatFsClock> g_listingClock{nullptr};

bool SameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

int64_t Nanoseconds(const timespec& t) { return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; }

bool SettledBefore(const timespec& stamp, int64_t start) {
  const int64_t margin = stamp.tv_nsec == 0 ? 3000000000 : 50000000;
  return Nanoseconds(stamp) < start - margin;
}

bool ListingMatches(const Listing& l, const std::string& dir, const struct stat& st) {
  return l.used && l.device == st.st_dev && l.inode == st.st_ino && SameTime(l.changed, st.st_ctim) &&
         SameTime(l.modified, st.st_mtim) && l.path == dir;
}

// The first entry of the directory (in the disk's order) whose name equals comp without
// regard to case, into *hit; false when there is none or the directory cannot be read.
bool FindNoCase(const std::string& dir, const std::string& comp, std::string* hit) {
  int64_t start;
  if (const PlatFsClock clock = g_listingClock.load()) {
    start = clock();
  } else {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    start = Nanoseconds(now);
  }
  struct stat st;
  const bool known = stat(dir.c_str(), &st) == 0;
  if (known) {
    std::lock_guard<std::mutex> hold(g_listingLock);
    for (Listing& l : g_listings) {
      if (!ListingMatches(l, dir, st)) continue;
      l.used = ++g_listingUse;
      for (const std::string& name : l.names)
        if (EqualNoCase(comp, name.c_str())) {
          *hit = name;
          return true;
        }
      return false;
    }
  }
  const bool keep = known && SettledBefore(st.st_ctim, start) && SettledBefore(st.st_mtim, start);
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  g_directoryReads++;
  std::vector<std::string> names;
  bool found = false;
  while (dirent* e = readdir(d)) {
    if (!found && EqualNoCase(comp, e->d_name)) {
      *hit = e->d_name;
      found = true;
      if (!keep) break;
    }
    if (keep) names.emplace_back(e->d_name);
  }
  closedir(d);
  if (keep) {
    std::lock_guard<std::mutex> hold(g_listingLock);
    Listing* slot = &g_listings[0];
    for (Listing& l : g_listings)
      if (l.used < slot->used) slot = &l;
    slot->path = dir;
    slot->device = st.st_dev;
    slot->inode = st.st_ino;
    slot->changed = st.st_ctim;
    slot->modified = st.st_mtim;
    slot->names = std::move(names);
    slot->used = ++g_listingUse;
  }
  return found;
}

std::string MapPath(const char* path, int* found) {
  std::string os = ToOsForm(path);
  if (os.empty() || Exists(os)) {
    *found = !os.empty();
    return os;
  }
  // Walk the components, matching each without regard to case where the exact one is
  // missing.
  std::string result = os[0] == '/' ? "/" : "";
  size_t pos = 0;
  bool matching = true;
  while (pos < os.size()) {
    size_t next = os.find('/', pos);
    if (next == std::string::npos) next = os.size();
    std::string comp = os.substr(pos, next - pos);
    pos = next + 1;
    if (comp.empty()) continue;
    std::string base = result.empty() ? "." : result;
    std::string candidate = result + (result.empty() || result.back() == '/' ? "" : "/") + comp;
    if (matching && !Exists(candidate) && comp != "." && comp != "..") {
      std::string hit;
      if (FindNoCase(base, comp, &hit))
        candidate = result + (result.empty() || result.back() == '/' ? "" : "/") + hit;
      else
        matching = false;
    }
    result = candidate;
  }
  if (pos == os.size() + 1 && !os.empty() && os.back() == '/' && result.back() != '/')
    result += '/';
  *found = matching && Exists(result);
  return result;
}

}  // namespace

int PlatFsMapPath(const char* path, std::string* mapped) {
  int found = 0;
  std::string m = path ? MapPath(path, &found) : std::string();
  if (mapped) *mapped = m;
  return found;
}

struct PlatFile {
  int fd;
};

PlatFile* PlatFileOpen(const char* path, int access, int disposition) {
  if (!path || !*path) return nullptr;
  int found = 0;
  std::string os = MapPath(path, &found);
  int flags = O_CLOEXEC;
  if ((access & PLAT_FILE_READ) && (access & PLAT_FILE_WRITE))
    flags |= O_RDWR;
  else if (access & PLAT_FILE_WRITE)
    flags |= O_WRONLY;
  else
    flags |= O_RDONLY;
  switch (disposition) {
    case PLAT_CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case PLAT_CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case PLAT_OPEN_EXISTING: break;
    case PLAT_OPEN_ALWAYS: flags |= O_CREAT; break;
    case PLAT_TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: return nullptr;
  }
  if ((flags & O_TRUNC) && !(access & PLAT_FILE_WRITE)) return nullptr;
  int fd = open(os.c_str(), flags, 0644);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    close(fd);
    return nullptr;
  }
  PlatFile* f = new (std::nothrow) PlatFile;
  if (!f) {
    close(fd);
    return nullptr;
  }
  f->fd = fd;
  return f;
}

void PlatFileClose(PlatFile* file) {
  if (!file) return;
  close(file->fd);
  delete file;
}

int64_t PlatFileRead(PlatFile* file, void* buffer, int64_t count) {
  if (!file || count < 0 || (!buffer && count > 0)) return -1;
  if (PlatFsReadHook hook = g_readHook.load()) hook(g_readHookContext.load());
  g_readCount++;
  int64_t done = 0;
  while (done < count) {
    ssize_t r = read(file->fd, (char*)buffer + done, size_t(count - done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? done : -1;
    }
    if (r == 0) break;
    done += r;
  }
  return done;
}

int64_t PlatFileWrite(PlatFile* file, const void* buffer, int64_t count) {
  if (!file || count < 0 || (!buffer && count > 0)) return -1;
  int64_t done = 0;
  while (done < count) {
    ssize_t r = write(file->fd, (const char*)buffer + done, size_t(count - done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? done : -1;
    }
    done += r;
  }
  return done;
}

int64_t PlatFileSeek(PlatFile* file, int64_t offset, int origin) {
  if (!file) return -1;
  int whence = origin == PLAT_SEEK_CUR ? SEEK_CUR : origin == PLAT_SEEK_END ? SEEK_END : SEEK_SET;
  off_t r = lseek(file->fd, off_t(offset), whence);
  return r < 0 ? -1 : int64_t(r);
}

int64_t PlatFileTell(PlatFile* file) {
  if (!file) return -1;
  off_t r = lseek(file->fd, 0, SEEK_CUR);
  return r < 0 ? -1 : int64_t(r);
}

int64_t PlatFileSize(PlatFile* file) {
  if (!file) return -1;
  struct stat st;
  if (fstat(file->fd, &st) != 0) return -1;
  return int64_t(st.st_size);
}

uint64_t PlatFsReadCount() { return g_readCount.load(); }

uint64_t PlatFsDirectoryReadCount() { return g_directoryReads.load(); }

void PlatFsSetListingClock(PlatFsClock clock) { g_listingClock = clock; }

void PlatFsSetReadHook(PlatFsReadHook hook, void* context) {
  g_readHookContext = context;
  g_readHook = hook;
}

namespace {
void FillInfo(const struct stat& st, const std::string& utf8Name, PlatFileInfo* info) {
  std::string sjis;
  PlatUtf8ToSjis(utf8Name.data(), utf8Name.size(), &sjis);
  info->name = sjis;
  info->isDirectory = S_ISDIR(st.st_mode) ? 1 : 0;
  info->size = info->isDirectory ? 0 : uint64_t(st.st_size);
  // Linux keeps no creation time in struct stat; the change time stands in for it.
  info->createTime = int64_t(st.st_ctime);
  info->writeTime = int64_t(st.st_mtime);
}

std::string BaseName(const std::string& path) {
  size_t end = path.size();
  while (end > 1 && path[end - 1] == '/') end--;
  size_t slash = path.rfind('/', end - 1);
  return slash == std::string::npos ? path.substr(0, end) : path.substr(slash + 1, end - slash - 1);
}
}  // namespace

int PlatFileStat(const char* path, PlatFileInfo* info) {
  if (!path) return -1;
  int found = 0;
  std::string os = MapPath(path, &found);
  struct stat st;
  if (!found || stat(os.c_str(), &st) != 0) return -1;
  if (info) FillInfo(st, BaseName(os), info);
  return 0;
}

int PlatFileDelete(const char* path) {
  if (!path) return -1;
  int found = 0;
  std::string os = MapPath(path, &found);
  return found && unlink(os.c_str()) == 0 ? 0 : -1;
}

int PlatMakeDirectory(const char* path) {
  if (!path) return -1;
  int found = 0;
  std::string os = MapPath(path, &found);
  return mkdir(os.c_str(), 0755) == 0 ? 0 : -1;
}

int PlatRemoveDirectory(const char* path) {
  if (!path) return -1;
  int found = 0;
  std::string os = MapPath(path, &found);
  return found && rmdir(os.c_str()) == 0 ? 0 : -1;
}

int PlatGetCurrentDir(std::string* dir) {
  std::vector<char> buf(PATH_MAX + 1);
  for (;;) {
    if (getcwd(buf.data(), buf.size())) break;
    if (errno != ERANGE) return -1;
    buf.resize(buf.size() * 2);
  }
  if (dir) PlatUtf8ToSjis(buf.data(), std::strlen(buf.data()), dir);
  return 0;
}

int PlatSetCurrentDir(const char* dir) {
  if (!dir || !*dir) return -1;
  int found = 0;
  std::string os = MapPath(dir, &found);
  return found && chdir(os.c_str()) == 0 ? 0 : -1;
}

struct PlatDir {
  DIR* dir;
  std::string path;
};

PlatDir* PlatDirOpen(const char* path) {
  if (!path) return nullptr;
  int found = 0;
  std::string os = MapPath(*path ? path : ".", &found);
  DIR* d = found ? opendir(os.c_str()) : nullptr;
  if (!d) return nullptr;
  PlatDir* pd = new (std::nothrow) PlatDir;
  if (!pd) {
    closedir(d);
    return nullptr;
  }
  pd->dir = d;
  pd->path = os;
  return pd;
}

int PlatDirNext(PlatDir* dir, PlatFileInfo* info) {
  if (!dir) return 0;
  while (dirent* e = readdir(dir->dir)) {
    if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
    std::string full = dir->path + (dir->path.back() == '/' ? "" : "/") + e->d_name;
    struct stat st;
    if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0) continue;
    if (info) FillInfo(st, e->d_name, info);
    return 1;
  }
  return 0;
}

void PlatDirClose(PlatDir* dir) {
  if (!dir) return;
  closedir(dir->dir);
  delete dir;
}

PlatFile* PlatCreateTempFile(const char* dir, const char* prefix, std::string* path) {
  int found = 0;
  std::string base = MapPath(dir && *dir ? dir : PlatTempDirectory().c_str(), &found);
  if (base.empty()) base.push_back('.');
  std::string utf8Prefix = PlatSjisToUtf8(prefix ? prefix : "");
  std::string tmpl = base;
  if (tmpl.back() != '/') tmpl += '/';
  tmpl += utf8Prefix;
  tmpl += "XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return nullptr;
  PlatFile* f = new (std::nothrow) PlatFile;
  if (!f) {
    close(fd);
    unlink(name.data());
    return nullptr;
  }
  f->fd = fd;
  if (path) {
    std::string full = name.data();
    if (full[0] != '/') {
      std::vector<char> buf(PATH_MAX + 1);
      if (getcwd(buf.data(), buf.size())) full = std::string(buf.data()) + "/" + full;
    }
    PlatUtf8ToSjis(full.data(), full.size(), path);
  }
  return f;
}

std::string PlatTempDirectory() {
  const char* t = std::getenv("TMPDIR");
  return PlatUtf8ToSjis(t && *t ? t : "/tmp");
}
