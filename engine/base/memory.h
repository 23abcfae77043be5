// The engine's tracked allocator: every engine record and buffer comes from here, so the
// end of the engine can report every block still held.
#pragma once

#include <cstddef>
#include <cstdint>

// The record in front of every tracked block. The fields up to `copy` are mirrored in
// `copy`, renewed whenever one of them changes, so that a stray write over a header can be
// noticed. With 64-bit links the record is 80 bytes, a multiple of 16, which keeps the
// caller's block (header address + sizeof(MemBlockHeader)) 16-byte aligned.
struct MemBlockHeader {
  char file[16];          // last 15 characters of the caller's source name, terminated
  uint16_t id;            // serial number, wrapping 65535 -> 0
  uint16_t line;          // caller's line, kept in 16 bits
  uint32_t size;          // bytes the caller asked for
  MemBlockHeader* older;  // block allocated before this one, or the end record
  MemBlockHeader* newer;  // block allocated after this one; null for the newest
  unsigned char copy[16 + 2 + 2 + 4 + 2 * sizeof(void*)];
};
static_assert(sizeof(MemBlockHeader) % 16 == 0, "tracked blocks must stay 16-byte aligned");

// A block of size usable bytes (16-byte aligned), or null when the heap refuses (the leak
// report and the header check are then written to the log). Engine callers pass an empty
// source name and line 0.
void* TrackedAlloc(size_t size, const char* sourceName, int line);
// As TrackedAlloc, zero-filled.
void* TrackedCalloc(size_t size, const char* sourceName, int line);
// Null is ignored.
void TrackedFree(void* block);
// A tracked block for a buffer that grows to many megabytes: TrackedResize changes its
// size without copying its bytes, and TrackedFree never holds the caller for its pages.
void* TrackedAllocResizable(size_t size, const char* sourceName, int line);
// A block from TrackedAllocResizable at its new size, its bytes kept (up to the smaller
// size) and its address perhaps changed; null, with the block as it was, when the heap
// refuses.
void* TrackedResize(void* block, size_t size);
// Has the pages of such a block from offset on, length bytes, made present in the
// background, ahead of the writes that would otherwise fault them in: until TrackedReady
// says they are, the caller writes nothing there.
void TrackedPrefault(void* block, size_t offset, size_t length);
// The bytes of such a block from its start that can be written now: the pages asked for
// are ready below it, and past it the background is still at work, so nothing may be
// written there yet.
size_t TrackedReady(void* block);

// The leak report: every live block, newest first, and the totals.
void DumpAllocations();
// 0 when every header matches its copy; -1 (logged with the block's line) at the first
// damaged one.
int CheckAllocations();
// Writes one block's line to the log.
void LogAllocRecord(const MemBlockHeader* header);

// Live blocks and their total size (tests read these to see that nothing leaked).
int32_t GetTrackedBlockCount();
int64_t GetTrackedTotalBytes();

// Switches, all 0 by default. Log every call: each allocation and release writes its
// block's line. Print totals: each writes the totals line. Check each call: each checks
// every header. Size filter: blocks of exactly this size are logged (negative: all).
void SetTrackerLogEveryCall(int on);
void SetTrackerPrintTotals(int on);
void SetTrackerCheckEachCall(int on);
void SetTrackerSizeFilter(int32_t size);
