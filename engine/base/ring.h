// A growable byte queue. All-zero is an empty ring without storage; it grows (never
// shrinks) to the stored length plus the wanted length plus 1000 bytes, or to twice its
// storage when that is more, moving the stored bytes to the start of the new storage.
#pragma once

#include <cstdint>

struct RingBuffer {
  unsigned char* data;  // from TrackedAlloc, or null
  int32_t readPos;      // oldest stored byte
  int32_t writePos;     // where the next byte goes
  int32_t length;       // bytes stored
  int32_t capacity;     // bytes of storage
};

// 0, or -1 (logged) when the storage could not grow or the length is invalid.
int RingBufferAdd(RingBuffer* ring, const void* source, int32_t length);
// Copies length bytes out (and, unless peeking, removes them): 0, or -1 when fewer are
// stored or the length is negative.
int RingBufferRead(RingBuffer* ring, int32_t length, void* destination, int peek);
// Makes room for wanted more bytes: 0, or -1 (logged). A failed allocation frees the old
// storage and zeroes the ring (its bytes are lost); an invalid size leaves it as it was.
int RingBufferReserve(RingBuffer* ring, int32_t wanted);
// A read or write position that equals the capacity means 0: makes it so.
void RingBufferWrapPositions(RingBuffer* ring);
// Frees the storage and zeroes the ring; 0.
int RingBufferTerminate(RingBuffer* ring);
