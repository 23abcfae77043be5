// The 3D texture table: lookup, removal and the walks over every record.
#include "engine/d3d/texture3d.h"

#include "engine/base/memory.h"
#include "engine/d3d/direct3d.h"
#include "engine/d3d/texture3dtest.h"
#include "engine/graphics/surfacedata.h"

Surface3DData* LookupTexture3D(int32_t handle) {
  return static_cast<Surface3DData*>(HandleTableGet(&g_Direct3D.textures, handle));
}

int RemoveTexture3D(int32_t handle) {
  Surface3DData* record = LookupTexture3D(handle);
  if (!record) return -1;
  // The last record that uses the texture surface deletes it.
  if (ReleaseSurfaceReference(record->surface) == 0) RemoveSurfaceData(record->surface);
  HandleTableRemove(&g_Direct3D.textures, handle);
  if (record->deletionWatcher) *record->deletionWatcher = 1;
  TrackedFree(record);
  return 0;
}

int RemoveAllTextures() {
  const HandleTable& table = g_Direct3D.textures;
  const int32_t slots = table.highWater;
  for (int32_t slot = 0; slot < slots; slot++) {
    const int32_t handle = HandleTableHandleAt(&table, slot);
    if (handle != -1) RemoveTexture3D(handle);
  }
  return 0;
}

void ForEachTextureSurface(void (*visit)(int32_t surface)) {
  const HandleTable& table = g_Direct3D.textures;
  for (int32_t slot = 0; slot < table.highWater; slot++)
    if (const Surface3DData* record = static_cast<const Surface3DData*>(table.slots[slot])) visit(record->surface);
}

int32_t AddTexture3DForTest(int32_t surface) {
  Surface3DData* record = static_cast<Surface3DData*>(TrackedCalloc(sizeof(Surface3DData), "", 0));
  if (!record) return -1;
  record->surface = surface;
  const int32_t handle = HandleTableAdd(&g_Direct3D.textures, record);
  if (handle == -1) TrackedFree(record);
  return handle;
}
