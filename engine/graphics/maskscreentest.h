// Test seam of the mask screen: nothing in the engine makes the mask wanted, sets its
// reverse flag or key colour, writes its bytes or adds a record to the type-0x40000000
// table, so tests do it here.
#pragma once

#include "engine/graphics/maskscreen.h"

#include <cstdint>

// The mask wanted (made), drawing allowed where a byte is 0 (reverse 1) or not 0 (reverse
// 0), and the work copy's transparent pixel value. A key set after the mask was built
// reaches the work surface's colour key only when it is built again.
void SetMaskScreenForTest(int32_t made, int32_t reverse, uint32_t keyColor);
// The mask bytes (null while there is no mask), with the row size in bytes and the
// number of columns and rows in use.
uint8_t* MaskBytesForTest(int32_t* pitch, int32_t* width, int32_t* height);

// A record of the type-0x40000000 table. The engine reads only these words of it.
struct Type40Record {
  uint32_t check;  // bits 16-26 of its handle, >> 16
  void* buffer;    // owned, from the tracked allocator
  int32_t inUse;   // 1 while the record is live
};
enum : int32_t { TYPE40_SLOTS = 512 };
// The record in a slot (0-511), null past the table.
Type40Record* Type40RecordForTest(int32_t slot);
