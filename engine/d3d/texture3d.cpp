// The 3D texture table: adding, looking up and removing records, the walks over every
// record, the restore of lost textures, and the two draw-state entry points that work on
// a graph's first tile (the blend texture) and on the texture filter.
#include "engine/d3d/texture3d.h"

#include "engine/base/log.h"
#include "engine/base/memory.h"
#include "engine/d3d/direct3d.h"
#include "engine/d3d/texture3dtest.h"
#include "engine/graphics/graphrecord.h"
#include "engine/graphics/services.h"
#include "engine/pixel/drawstate.h"

#include <cstring>

namespace {

HandleTable& Table() { return g_Direct3D.textures; }

// The tile's quad in graph coordinates, its texture coordinates over the texture.
void FillVertices(Surface3DData* r, const SurfaceData* texture) {
  const float tw = texture->width, th = texture->height;
  const float x0 = r->tileX, y0 = r->tileY, x1 = x0 + r->usedWidth, y1 = y0 + r->usedHeight;
  const float u0 = r->texelX / tw, v0 = r->texelY / th;
  const float u1 = (r->texelX + r->usedWidth) / tw, v1 = (r->texelY + r->usedHeight) / th;
  const float corners[4][4] = {{x0, y0, u0, v0}, {x1, y0, u1, v0}, {x0, y1, u0, v1}, {x1, y1, u1, v1}};
  for (int i = 0; i < 4; i++)
    r->vertices[i] = {corners[i][0], corners[i][1], 0.0f, 1.0f, 0xFFFFFFFFu, corners[i][2], corners[i][3]};
}

}  // namespace

int32_t AddSurface3DData(int32_t textureWidth, int32_t textureHeight, int32_t tileX, int32_t tileY, int32_t usedWidth,
                         int32_t usedHeight, int32_t ownerGraph, const Surface3DData* parent, int32_t texelX,
                         int32_t texelY, const SurfaceCreateFlags* flags) {
  if (!g_Direct3D.direct3D) return WriteLog("３Ｄグラフィックエンジンが初期化されていません\n");
  HandleTable& t = Table();
  const int32_t slot = HandleTableNextSlot(&t);
  if (slot == -1) return WriteLog("３Ｄグラフィックの数が許容量を越えました。\n");
  Surface3DData* r = static_cast<Surface3DData*>(TrackedCalloc(sizeof(Surface3DData), __FILE__, __LINE__));
  if (!r) return WriteLog("メモリの確保に失敗しました in AddSurface3DData \n");

  if (parent) {
    r->surface = parent->surface;
    if (AddSurfaceReference(r->surface) == -1) r->surface = -1;
  } else {
    r->surface = AddSurfaceData(1, textureWidth, textureHeight, g_DrawState.transparentColor, flags);
  }
  const SurfaceData* texture = LookupSurfaceData(r->surface);
  if (!texture) {
    // The table and its check counter stay as they were.
    TrackedFree(r);
    return -1;
  }
  r->tileX = uint16_t(tileX);
  r->tileY = uint16_t(tileY);
  r->usedWidth = uint16_t(usedWidth);
  r->usedHeight = uint16_t(usedHeight);
  r->ownerGraph = ownerGraph;
  // Counted from the texture's corner, however deep the derivation.
  r->texelX = uint16_t(texelX + (parent ? parent->texelX : 0));
  r->texelY = uint16_t(texelY + (parent ? parent->texelY : 0));
  FillVertices(r, texture);
  return HandleTableAddAt(&t, r, slot);
}

Surface3DData* LookupTexture3D(int32_t handle) { return static_cast<Surface3DData*>(HandleTableGet(&Table(), handle)); }

int RemoveTexture3D(int32_t handle) {
  Surface3DData* record = LookupTexture3D(handle);
  if (!record) return -1;
  // The last record that uses the texture surface deletes it.
  if (ReleaseSurfaceReference(record->surface) == 0) RemoveSurfaceData(record->surface);
  HandleTableRemove(&Table(), handle);
  if (record->deletionWatcher) *record->deletionWatcher = 1;
  TrackedFree(record);
  return 0;
}

int RemoveAllTextures() {
  const HandleTable& table = Table();
  const int32_t slots = table.highWater;
  for (int32_t slot = 0; slot < slots; slot++) {
    const int32_t handle = HandleTableHandleAt(&table, slot);
    if (handle != -1) RemoveTexture3D(handle);
  }
  return 0;
}

int RemoveAllTexturesIfActive() {
  if (!g_Direct3D.direct3D) return -1;
  return RemoveAllTextures();
}

int RemoveGraphTextures(GraphRecord* graph) {
  if (!g_Direct3D.direct3D || !graph) return -1;
  // The list stays as it is: the graph is on its way out.
  for (int32_t i = 0; i < graph->surfaceCount; i++) RemoveTexture3D(graph->surfaces[i]);
  return 0;
}

int UnlockTexture3D(int32_t handle, const Rect* rect) {
  const Surface3DData* record = LookupTexture3D(handle);
  if (!record) return -1;
  return UnlockSurfaceData(record->surface, rect);
}

void ForEachTextureSurface(void (*visit)(int32_t surface)) {
  const HandleTable& table = Table();
  for (int32_t slot = 0; slot < table.highWater; slot++)
    if (const Surface3DData* record = static_cast<const Surface3DData*>(table.slots[slot])) visit(record->surface);
}

void SetCornerSides(Surface3DData* record, int32_t width, int32_t height) {
  const double slope = double(height) / double(width);
  for (int i = 0; i < 4; i++) {
    const PlatD3DTexturedVertex& v = record->vertices[i];
    record->cornerSide[i] = double(height) - double(v.x) * slope >= double(v.y) ? 1 : 0;
  }
}

int32_t CreateWorkTexture(const SurfaceData* texture, PlatDDSurface* out) {
  *out = 0;
  const PixelFormatRecord* format = TextureFormatPixelFormat(texture->formatIndex);
  if (!format) return PLAT_DDERR_INVALIDPIXELFORMAT;
  PlatDDSurfaceDesc desc{};
  desc.size = sizeof desc;
  desc.flags = PLAT_DDSD_CAPS | PLAT_DDSD_HEIGHT | PLAT_DDSD_WIDTH | PLAT_DDSD_PIXELFORMAT;
  desc.width = texture->width;
  desc.height = texture->height;
  static_assert(sizeof desc.pixelFormat == sizeof *format, "one pixel format record");
  std::memcpy(&desc.pixelFormat, format, sizeof desc.pixelFormat);
  desc.caps = PLAT_DDSCAPS_TEXTURE | PLAT_DDSCAPS_SYSTEMMEMORY;
  const int32_t result = PlatDDrawCreateSurface(GetDirectDrawObject(), &desc, out);
  if (result != PLAT_DD_OK) *out = 0;
  return result;
}

// ---- lost textures ------------------------------------------------------------------------

int RestoreAllTextures() {
  if (!g_Direct3D.direct3D) return -1;
  ForEachTextureSurface([](int32_t surface) { RestoreSurfaceIfLost(surface); });
  return 0;
}

int RestoreGraphTextures(GraphRecord* graph) {
  if (!g_Direct3D.direct3D || !graph) return -1;
  int result = 0;
  for (int32_t i = 0; i < graph->surfaceCount; i++) {
    const Surface3DData* record = LookupTexture3D(graph->surfaces[i]);
    if (!record) return -1;
    result |= RestoreSurfaceIfLost(record->surface);
  }
  return result;
}

// ---- the draw state's entry points ----------------------------------------------------------

int BindGraphTexture(GraphRecord* graph, int32_t threshold, int32_t range) {
  Direct3DState& s = g_Direct3D;
  if (graph) {
    const Surface3DData* tile = graph->surfaceCount > 0 ? LookupTexture3D(graph->surfaces[0]) : nullptr;
    const SurfaceData* texture = tile ? LookupSurfaceData(tile->surface) : nullptr;
    if (!texture) return -1;
    SetDeviceBlendTexture(s.currentDevice, texture->surface, threshold, range);
    s.blendTextureSize[0] = float(texture->width);
    s.blendTextureSize[1] = float(texture->height);
    s.blendTextureReciprocal[0] = 1.0f / float(texture->width);
    s.blendTextureReciprocal[1] = 1.0f / float(texture->height);
    return 0;
  }
  Device3DRecord* r = LiveDeviceRecord(s.currentDevice);
  if (r && (r->blendTexture || r->forceStates)) {
    FlushVertexBatch(s.currentDevice);
    r->blendTexture = 0;
    if (threshold != -1) r->blendThreshold = threshold;
    if (range != -1) r->blendRange = range;
    r->statesDirty = 1;
  }
  return 0;
}

int ApplyTextureStage3D(int32_t filterMode) {
  SetDeviceFilterMode(g_Direct3D.currentDevice, uint32_t(filterMode));
  return 0;
}

// ---- test seam ------------------------------------------------------------------------------

int32_t AddTexture3DForTest(int32_t surface) {
  Surface3DData* record = static_cast<Surface3DData*>(TrackedCalloc(sizeof(Surface3DData), "", 0));
  if (!record) return -1;
  record->surface = surface;
  const int32_t handle = HandleTableAdd(&Table(), record);
  if (handle == -1) TrackedFree(record);
  return handle;
}
