// Least body until the tracker lands: a counted heap block with a 16-byte header.
#include "engine/base/memory.h"

#include "platform/kernel/kernel.h"

#include <atomic>
#include <cstring>

namespace {
std::atomic<int32_t> g_blocks{0};
std::atomic<int64_t> g_bytes{0};
constexpr size_t kHeader = 16;
}  // namespace

void* TrackedAlloc(size_t size, const char*, int) {
  unsigned char* p = (unsigned char*)PlatHeapAlloc(size + kHeader);
  if (!p) return nullptr;
  std::memcpy(p, &size, sizeof size);
  g_blocks++;
  g_bytes += int64_t(size);
  return p + kHeader;
}

void* TrackedCalloc(size_t size, const char* sourceName, int line) {
  void* p = TrackedAlloc(size, sourceName, line);
  if (p) std::memset(p, 0, size);
  return p;
}

void TrackedFree(void* block) {
  if (!block) return;
  unsigned char* p = (unsigned char*)block - kHeader;
  size_t size;
  std::memcpy(&size, p, sizeof size);
  g_blocks--;
  g_bytes -= int64_t(size);
  PlatHeapFree(p);
}

int32_t GetTrackedBlockCount() { return g_blocks.load(); }
int64_t GetTrackedTotalBytes() { return g_bytes.load(); }
