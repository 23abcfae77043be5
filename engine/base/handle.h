// The engine's handle scheme, shared by every kind of handle.
//
// A handle is a 32-bit value with bit 31 clear, the kind in bits 27-30, an 11-bit check
// value in bits 16-26 and the slot in bits 0-15. Each record begins with its check value;
// a handle is valid when its kind matches, its slot is in use and the record's check
// value equals the handle's. Check values come from a counter that wraps from 2047 to 0,
// so a stale handle to a reused slot is refused.
#pragma once

#include <cstdint>

enum : int32_t {
  HANDLE_TYPE_GRAPH = 0x08000000,
  HANDLE_TYPE_SOUND = 0x10000000,
  HANDLE_TYPE_MOVIE = 0x18000000,
  HANDLE_TYPE_FONT = 0x20000000,
  HANDLE_TYPE_SURFACE2D = 0x28000000,
  HANDLE_TYPE_TEXTURE3D = 0x30000000,
  HANDLE_TYPE_SURFACE_DATA = 0x38000000,
  HANDLE_TYPE_TABLE512 = 0x40000000,
  HANDLE_TYPE_NETWORK = 0x48000000,
  HANDLE_TYPE_KEYINPUT = 0x50000000,
  HANDLE_TYPE_MUSIC = 0x58000000,
  HANDLE_TYPE_LIGHT = 0x60000000,
  HANDLE_TYPE_SOFTIMAGE = 0x70000000,
};

enum : uint32_t {
  HANDLE_TYPE_MASK = 0x78000000u,
  HANDLE_CHECK_MASK = 0x07FF0000u,
  HANDLE_SLOT_MASK = 0x0000FFFFu,
  HANDLE_CHECK_LIMIT = 2048,
};

// The first field of every record kept in a handle table.
struct HandleRecordHead {
  uint32_t check;
};

struct HandleTable {
  int32_t type;        // the kind bits of its handles
  int32_t size;        // number of slots (at most 65536)
  void** slots;        // record pointers, null when free; storage given by the owner
  int32_t count;       // live records
  int32_t highWater;   // one past the highest slot handed out
  uint32_t nextCheck;  // check value for the next record, 0..2047
};

// Sets the table up over the owner's slot storage (size entries, cleared here).
void HandleTableInit(HandleTable* table, int32_t type, void** slots, int32_t size);

inline int32_t MakeHandle(int32_t type, uint32_t check, int32_t slot) {
  return int32_t(uint32_t(type) | ((check & 0x7FFu) << 16) | (uint32_t(slot) & HANDLE_SLOT_MASK));
}
inline int32_t HandleSlot(int32_t handle) { return int32_t(uint32_t(handle) & HANDLE_SLOT_MASK); }

// The slot HandleTableAdd would take next, or -1 when every slot is taken (for tables
// whose records are held in place, one per slot).
int32_t HandleTableNextSlot(const HandleTable* table);
// Takes a slot for the record (whose first field receives the check value): the
// high-water slot, or the first empty slot once the mark has reached the table's size.
// Returns the handle, or -1 when every slot is taken.
int32_t HandleTableAdd(HandleTable* table, void* record);
// As HandleTableAdd, in a slot the owner chose by rules of its own; -1 when the slot is
// outside the table or taken.
int32_t HandleTableAddAt(HandleTable* table, void* record, int32_t slot);
// The record of a valid handle, or null.
void* HandleTableGet(const HandleTable* table, int32_t handle);
// Removes a valid handle's record from the table (the caller frees it) and walks the
// high-water mark down over empty slots when the top slot was removed. Returns the
// record, or null for an invalid handle.
void* HandleTableRemove(HandleTable* table, int32_t handle);
// The handle of the record in a used slot, or -1.
int32_t HandleTableHandleAt(const HandleTable* table, int32_t slot);
