#include "engine/base/memory.h"

#include "engine/base/log.h"
#include "engine/base/strutil.h"
#include "platform/kernel/kernel.h"

#include <cstddef>
#include <cstring>

static_assert(offsetof(MemBlockHeader, copy) == sizeof(MemBlockHeader::copy),
              "the copy mirrors exactly the fields in front of it");

namespace {

constexpr size_t kCopiedBytes = offsetof(MemBlockHeader, copy);
// The size field is 32 bits: a request whose header-padded total does not fit is refused.
constexpr size_t kMaxBlockSize = 0xFFFFFFFFu - sizeof(MemBlockHeader);

struct MemTracker {
  MemBlockHeader endRecord;  // ends the list; never handed out
  MemBlockHeader* newest;    // null until the first allocation
  uint16_t nextId;
  int64_t totalBytes;
  int32_t blockCount;
  int logEveryCall;
  int printTotals;
  int checkEachCall;
  int32_t sizeFilter;
};
MemTracker g_tracker;

// The list is changed from the main thread and from the clock thread, and the log
// re-enters the tracker for its long texts: one recursive mutex for the process's life.
PlatMutex* TrackerMutex() {
  static PlatMutex* mutex = PlatMutexCreate(1);
  return mutex;
}

void RenewCopy(MemBlockHeader* h) { std::memcpy(h->copy, h, kCopiedBytes); }

// A neighbour's link changed: only that link is renewed in its copy, so that damage done
// to its other fields is still found by the next check rather than copied over.
void RenewOlderLink(MemBlockHeader* h) {
  std::memcpy(h->copy + offsetof(MemBlockHeader, older), &h->older, sizeof h->older);
}
void RenewNewerLink(MemBlockHeader* h) {
  std::memcpy(h->copy + offsetof(MemBlockHeader, newer), &h->newer, sizeof h->newer);
}

int HeaderIsIntact(const MemBlockHeader* h) {
  return std::memcmp(h, h->copy, kCopiedBytes) == 0;
}

// The header's own fields as they stood when the copy was last renewed.
MemBlockHeader CopiedFields(const MemBlockHeader* h) {
  MemBlockHeader c{};
  std::memcpy(&c, h->copy, kCopiedBytes);
  return c;
}

void StoreSourceName(char file[16], const char* name) {
  std::memset(file, 0, 16);
  if (!name) return;
  size_t len = std::strlen(name);
  // Keep the last 15 bytes, starting on a character so no trail byte leads the field.
  size_t start = 0;
  if (len >= 15)
    while (start < len - 15) start += size_t(ShiftJisCharLength(name + start));
  std::memcpy(file, name + start, len - start);
}

int ShouldLog(uint32_t size) {
  const MemTracker& t = g_tracker;
  return t.sizeFilter < 0 || uint32_t(t.sizeFilter) == size || t.logEveryCall;
}

void WriteTotals() {
  WriteLogFmt("\tTotal size:%lld(%.3fkb)  Alloc num:%d", (long long)g_tracker.totalBytes,
              double(g_tracker.totalBytes) / 1024.0, g_tracker.blockCount);
}

void* RefuseAllocation() {
  DumpAllocations();
  CheckAllocations();
  return nullptr;
}

// The switches' lines and checks for a block given to the caller; the caller's pointer.
void* HandOut(MemBlockHeader* h, const char* what) {
  const MemTracker& t = g_tracker;
  if (ShouldLog(h->size)) {
    WriteLog(what);
    LogAllocRecord(h);
  }
  if (t.printTotals) WriteTotals();
  if (t.checkEachCall) CheckAllocations();
  return h + 1;
}

void* TrackBlock(void* (*heapAlloc)(size_t), size_t size, const char* sourceName, int line) {
  PlatMutexHold hold(TrackerMutex());
  MemTracker& t = g_tracker;
  if (size > kMaxBlockSize) return RefuseAllocation();
  MemBlockHeader* h = (MemBlockHeader*)heapAlloc(sizeof(MemBlockHeader) + size);
  if (!h) return RefuseAllocation();

  std::memset(h, 0, sizeof *h);
  h->size = uint32_t(size);
  StoreSourceName(h->file, sourceName);
  h->line = uint16_t(line);
  h->id = t.nextId++;

  if (!t.newest) t.newest = &t.endRecord;
  MemBlockHeader* below = t.newest;
  below->newer = h;
  h->older = below;
  h->newer = nullptr;
  t.newest = h;
  RenewCopy(h);
  RenewNewerLink(below);

  t.totalBytes += int64_t(size);
  t.blockCount += 1;

  return HandOut(h, "mem alloc  ");
}

}  // namespace

void* TrackedAlloc(size_t size, const char* sourceName, int line) {
  return TrackBlock(PlatHeapAlloc, size, sourceName, line);
}

void* TrackedAllocResizable(size_t size, const char* sourceName, int line) {
  return TrackBlock(PlatHeapAllocResizable, size, sourceName, line);
}

void* TrackedResize(void* block, size_t size) {
  PlatMutexHold hold(TrackerMutex());
  MemTracker& t = g_tracker;
  if (size > kMaxBlockSize) return RefuseAllocation();
  MemBlockHeader* old = (MemBlockHeader*)block - 1;
  MemBlockHeader* h = (MemBlockHeader*)PlatHeapResize(old, sizeof(MemBlockHeader) + size);
  if (!h) return RefuseAllocation();
  t.totalBytes += int64_t(size) - int64_t(h->size);
  h->size = uint32_t(size);
  std::memcpy(h->copy + offsetof(MemBlockHeader, size), &h->size, sizeof h->size);
  // The neighbours' links follow a block that moved.
  if (h != old) {
    h->older->newer = h;
    RenewNewerLink(h->older);
    if (h->newer) {
      h->newer->older = h;
      RenewOlderLink(h->newer);
    }
    if (t.newest == old) t.newest = h;
  }
  return HandOut(h, "mem resize  ");
}

void TrackedPrefault(void* block, size_t offset, size_t length) {
  PlatHeapPrefault((MemBlockHeader*)block - 1, sizeof(MemBlockHeader) + offset, length);
}

size_t TrackedReady(void* block) {
  const size_t ready = PlatHeapReady((MemBlockHeader*)block - 1);
  return ready > sizeof(MemBlockHeader) ? ready - sizeof(MemBlockHeader) : 0;
}

void* TrackedCalloc(size_t size, const char* sourceName, int line) {
  void* block = TrackedAlloc(size, sourceName, line);
  if (block) std::memset(block, 0, size);
  return block;
}

void TrackedFree(void* block) {
  if (!block) return;
  PlatMutexHold hold(TrackerMutex());
  MemTracker& t = g_tracker;
  MemBlockHeader* h = (MemBlockHeader*)block - 1;
  t.totalBytes -= int64_t(h->size);
  t.blockCount -= 1;
  if (t.checkEachCall) CheckAllocations();

  MemBlockHeader* older = h->older;
  MemBlockHeader* newer = h->newer;
  if (older) older->newer = newer;
  if (newer) newer->older = older;
  if (t.newest == h) t.newest = older;
  if (newer) RenewOlderLink(newer);
  if (older) RenewNewerLink(older);

  if (ShouldLog(h->size)) {
    WriteLog("mem free  ");
    LogAllocRecord(h);
  }
  if (t.printTotals) WriteTotals();
  PlatHeapFree(h);
}

void LogAllocRecord(const MemBlockHeader* header) {
  if (!header) return;
  const unsigned char* data = (const unsigned char*)(header + 1);
  // A damaged header may claim more bytes than the block holds: show no more than both
  // the header and its copy allow.
  uint32_t size = header->size;
  uint32_t shown = size;
  MemBlockHeader copied = CopiedFields(header);
  if (copied.size < shown) shown = copied.size;
  int n = shown < 16 ? int(shown) : 16;

  char text[512];
  FormatText(text, sizeof text,
             "\tsize:%u(%.3fkb)  file:%.*s  line:%d  ID:%d  addr:%0*llx  data:<", size,
             double(size) / 1024.0, 16, header->file, int(header->line), int(header->id),
             int(2 * sizeof(void*)), (unsigned long long)(uintptr_t)data);
  int len = int(std::strlen(text));
  for (int i = 0; i < n; i++) text[len++] = (data[i] < 0x20 || data[i] >= 0x80) ? '.' : char(data[i]);
  std::memcpy(text + len, "> [", 3);
  len += 3;
  static const char kHex[] = "0123456789abcdef";
  for (int i = 0; i < n; i++) {
    text[len++] = kHex[data[i] >> 4];
    text[len++] = kHex[data[i] & 15];
    text[len++] = ' ';
  }
  // The last blank (or, with no bytes, the bracket itself) gives way to the closing one.
  std::memcpy(text + len - 1, "]\n", 3);
  WriteLog(text);
}

void DumpAllocations() {
  PlatMutexHold hold(TrackerMutex());
  MemTracker& t = g_tracker;
  WriteLog("\n");
  WriteLog("Alloc memory dump\n");
  for (MemBlockHeader* h = t.newest; h && h != &t.endRecord;) {
    LogAllocRecord(h);
    if (HeaderIsIntact(h)) {
      h = h->older;
    } else {
      // Follow a damaged header's link only when its copy vouches for it.
      MemBlockHeader copied = CopiedFields(h);
      if (copied.older != h->older) break;
      h = h->older;
    }
  }
  WriteTotals();
  WriteLog("\n");
}

int CheckAllocations() {
  PlatMutexHold hold(TrackerMutex());
  MemTracker& t = g_tracker;
  for (MemBlockHeader* h = t.newest; h && h != &t.endRecord; h = h->older) {
    if (!HeaderIsIntact(h)) {
      WriteLog("以下のメモリ確保情報が破損しました");
      LogAllocRecord(h);
      return -1;
    }
  }
  return 0;
}

int32_t GetTrackedBlockCount() {
  PlatMutexHold hold(TrackerMutex());
  return g_tracker.blockCount;
}

int64_t GetTrackedTotalBytes() {
  PlatMutexHold hold(TrackerMutex());
  return g_tracker.totalBytes;
}

void SetTrackerLogEveryCall(int on) {
  PlatMutexHold hold(TrackerMutex());
  g_tracker.logEveryCall = on ? 1 : 0;
}

void SetTrackerPrintTotals(int on) {
  PlatMutexHold hold(TrackerMutex());
  g_tracker.printTotals = on ? 1 : 0;
}

void SetTrackerCheckEachCall(int on) {
  PlatMutexHold hold(TrackerMutex());
  g_tracker.checkEachCall = on ? 1 : 0;
}

void SetTrackerSizeFilter(int32_t size) {
  PlatMutexHold hold(TrackerMutex());
  g_tracker.sizeFilter = size;
}
