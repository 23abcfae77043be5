// The engine's tracked allocator: every engine record and buffer comes from here, so the
// end of the engine can report every block still held.
#pragma once

#include <cstddef>
#include <cstdint>

// A block of size usable bytes (16-byte aligned), or null (logged) when the heap refuses.
// Engine callers pass an empty source name and line 0.
void* TrackedAlloc(size_t size, const char* sourceName, int line);
// As TrackedAlloc, zero-filled.
void* TrackedCalloc(size_t size, const char* sourceName, int line);
// Null is ignored.
void TrackedFree(void* block);

// Live blocks and their total size (tests read these to see that nothing leaked).
int32_t GetTrackedBlockCount();
int64_t GetTrackedTotalBytes();
