#include "engine/base/handle.h"

void HandleTableInit(HandleTable* table, int32_t type, void** slots, int32_t size) {
  table->type = type;
  table->size = size;
  table->slots = slots;
  table->count = 0;
  table->highWater = 0;
  table->nextCheck = 0;
  for (int32_t i = 0; i < size; i++) slots[i] = nullptr;
}

int32_t HandleTableNextSlot(const HandleTable* table) {
  if (table->count >= table->size) return -1;
  if (table->highWater < table->size) return table->highWater;
  for (int32_t slot = 0; slot < table->size; slot++)
    if (!table->slots[slot]) return slot;
  return -1;
}

int32_t HandleTableAdd(HandleTable* table, void* record) {
  return HandleTableAddAt(table, record, HandleTableNextSlot(table));
}

int32_t HandleTableAddAt(HandleTable* table, void* record, int32_t slot) {
  if (!record || slot < 0 || slot >= table->size || table->slots[slot]) return -1;
  uint32_t check = table->nextCheck;
  table->nextCheck = (table->nextCheck + 1) % HANDLE_CHECK_LIMIT;
  static_cast<HandleRecordHead*>(record)->check = check;
  table->slots[slot] = record;
  table->count++;
  if (slot >= table->highWater) table->highWater = slot + 1;
  return MakeHandle(table->type, check, slot);
}

void* HandleTableGet(const HandleTable* table, int32_t handle) {
  if (handle < 0) return nullptr;
  if ((uint32_t(handle) & HANDLE_TYPE_MASK) != uint32_t(table->type)) return nullptr;
  int32_t slot = HandleSlot(handle);
  if (slot >= table->size) return nullptr;
  void* record = table->slots[slot];
  if (!record) return nullptr;
  uint32_t check = static_cast<HandleRecordHead*>(record)->check;
  if ((check << 16) != (uint32_t(handle) & HANDLE_CHECK_MASK)) return nullptr;
  return record;
}

void* HandleTableRemove(HandleTable* table, int32_t handle) {
  void* record = HandleTableGet(table, handle);
  if (!record) return nullptr;
  int32_t slot = HandleSlot(handle);
  table->slots[slot] = nullptr;
  table->count--;
  if (slot == table->highWater - 1) {
    while (table->highWater > 0 && !table->slots[table->highWater - 1]) table->highWater--;
  }
  return record;
}

int32_t HandleTableHandleAt(const HandleTable* table, int32_t slot) {
  if (slot < 0 || slot >= table->size || !table->slots[slot]) return -1;
  return MakeHandle(table->type, static_cast<HandleRecordHead*>(table->slots[slot])->check, slot);
}
