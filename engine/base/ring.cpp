#include "engine/base/ring.h"

#include "engine/base/log.h"
#include "engine/base/memory.h"

#include <algorithm>
#include <cstring>

namespace {

// Capacities are 32-bit signed: a ring never grows past this.
constexpr int64_t kRingMaxCapacity = 0x7FFFFFFF;
constexpr int32_t kRingSlack = 1000;

void ZeroRing(RingBuffer* ring) { std::memset(ring, 0, sizeof *ring); }

}  // namespace

void RingBufferWrapPositions(RingBuffer* ring) {
  if (ring->readPos == ring->capacity) ring->readPos = 0;
  if (ring->writePos == ring->capacity) ring->writePos = 0;
}

int RingBufferReserve(RingBuffer* ring, int32_t wanted) {
  RingBufferWrapPositions(ring);
  if (wanted >= 0 && int64_t(ring->capacity) >= int64_t(ring->length) + wanted) return 0;

  // At least the stored and wanted bytes with the slack, and at least twice the old
  // storage: a queue fed in small pieces is copied a logarithmic number of times, not once
  // per piece.
  const int64_t needed = int64_t(ring->length) + wanted + kRingSlack;
  if (wanted < 0 || needed > kRingMaxCapacity) {
    WriteLogFmt("リングバッファの再確保に失敗しました(確保しようとしたサイズ %lld byte)", (long long)needed);
    return -1;
  }
  const int64_t doubled = std::min<int64_t>(int64_t(ring->capacity) * 2, kRingMaxCapacity);
  const int64_t newCapacity = std::max(needed, doubled);
  unsigned char* grown = (unsigned char*)TrackedAlloc(size_t(newCapacity), "", 0);
  if (!grown) {
    TrackedFree(ring->data);
    ZeroRing(ring);
    WriteLogFmt("リングバッファの再確保に失敗しました(確保しようとしたサイズ %d byte)",
                int32_t(newCapacity));
    return -1;
  }
  if (ring->length > 0) {
    if (ring->readPos + ring->length > ring->capacity) {
      const int32_t first = ring->capacity - ring->readPos;
      std::memcpy(grown, ring->data + ring->readPos, size_t(first));
      std::memcpy(grown + first, ring->data, size_t(ring->length - first));
    } else {
      std::memcpy(grown, ring->data + ring->readPos, size_t(ring->length));
    }
  }
  TrackedFree(ring->data);
  ring->data = grown;
  ring->readPos = 0;
  ring->writePos = ring->length;
  ring->capacity = int32_t(newCapacity);
  return 0;
}

int RingBufferAdd(RingBuffer* ring, const void* source, int32_t length) {
  RingBufferWrapPositions(ring);
  if (RingBufferReserve(ring, length) == -1) {
    WriteLogFmt("リングバッファへのデータの追加に失敗しました(追加する長さ %d byte)", length);
    return -1;
  }
  if (length == 0) return 0;
  const unsigned char* src = (const unsigned char*)source;
  if (ring->writePos + length > ring->capacity) {
    const int32_t first = ring->capacity - ring->writePos;
    std::memcpy(ring->data + ring->writePos, src, size_t(first));
    std::memcpy(ring->data, src + first, size_t(length - first));
    ring->writePos = ring->writePos + length - ring->capacity;
  } else {
    std::memcpy(ring->data + ring->writePos, src, size_t(length));
    ring->writePos += length;
  }
  ring->length += length;
  return 0;
}

int RingBufferRead(RingBuffer* ring, int32_t length, void* destination, int peek) {
  if (length < 0 || ring->length < length) return -1;
  RingBufferWrapPositions(ring);
  if (length == 0) return 0;
  unsigned char* dst = (unsigned char*)destination;
  int32_t readPos = ring->readPos;
  if (readPos + length > ring->capacity) {
    const int32_t first = ring->capacity - readPos;
    std::memcpy(dst, ring->data + readPos, size_t(first));
    std::memcpy(dst + first, ring->data, size_t(length - first));
    readPos = readPos + length - ring->capacity;
  } else {
    std::memcpy(dst, ring->data + readPos, size_t(length));
    readPos += length;
  }
  if (!peek) {
    ring->readPos = readPos;
    ring->length -= length;
  }
  return 0;
}

int RingBufferTerminate(RingBuffer* ring) {
  TrackedFree(ring->data);
  ZeroRing(ring);
  return 0;
}
