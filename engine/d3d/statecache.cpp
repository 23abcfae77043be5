// The device records' state cache and vertex batch: setters that send a state only when
// it differs from the cache (or the record forces them), sending the batch first, so
// that every batched vertex is drawn with the states it was added under; recorders of
// the requests the draw-state layer turns into states; the batch's flush and the rule
// for adding vertices.
#include "engine/d3d/direct3d.h"
#include "engine/state/state.h"

#include <algorithm>
#include <utility>

Device3DRecord* DeviceRecordAt(int32_t device) {
  const int32_t index = device & 0xFFFF;
  return index < DEVICE3D_COUNT ? &g_Device3D[index] : nullptr;
}

Device3DRecord* LiveDeviceRecord(int32_t device) {
  Device3DRecord* r = DeviceRecordAt(device);
  if (!g_Direct3D.direct3D || !r || !r->inUse || !r->device) return nullptr;
  return r;
}

void SetBatchKind(Device3DRecord* record, uint32_t kind) {
  record->batchKind = kind < VERTEX_KIND_COUNT ? kind : VERTEX_KIND_TEXTURED;
  record->batchWrite = record->vertexBuffers[record->batchKind] + record->batchCount * kVertexKindSize[record->batchKind];
}

namespace {

void DrawBatch(Device3DRecord& r) {
  PlatD3DDeviceDrawPrimitive(r.device, PlatD3DPrimitiveType(r.batchPrimitive), kVertexKindFvf[r.batchKind],
                             r.vertexBuffers[r.batchKind], r.batchCount, 0);
}

// Stage 0's texture as the device holds it (lanes are only made without a blend texture).
void BindStage0(Device3DRecord& r, PlatDDSurface texture) {
  if (r.stageCache[0].texture == texture) return;
  PlatD3DDeviceSetTexture(r.device, 0, texture);
  r.stageCache[0].texture = texture;
}

// The lane set aside and the batch, in their order, each with its texture; the batch's
// texture is bound after.
void DrawLanes(Device3DRecord& r) {
  auto aside = [&] {
    BindStage0(r, r.asideTexture);
    PlatD3DDeviceDrawPrimitive(r.device, PLAT_D3DPT_TRIANGLELIST, kVertexKindFvf[VERTEX_KIND_TEXTURED], r.asideBuffer,
                               r.asideCount, 0);
  };
  if (r.asideFirst) aside();
  if (r.batchCount > 0) {
    BindStage0(r, r.texture);
    DrawBatch(r);
  }
  if (!r.asideFirst) aside();
  BindStage0(r, r.texture);
}

void EmptyBatch(Device3DRecord& r) {
  r.batchCount = 0;
  r.batchWrite = r.vertexBuffers[r.batchKind];
  r.asideCount = 0;
  r.asideTexture = 0;
  r.batchRectCount = 0;
  r.asideRectCount = 0;
}

bool Overlaps(const int32_t (*rects)[4], uint32_t count, const int32_t (&q)[4]) {
  for (uint32_t i = 0; i < count; i++) {
    const int32_t* o = rects[i];
    if (q[0] < o[2] && o[0] < q[2] && q[1] < o[3] && o[1] < q[3]) return true;
  }
  return false;
}

// Room for count vertices of the primitive in the batch as it stands.
void* Reserve(Device3DRecord& r, int32_t device, uint32_t primitive, uint32_t count) {
  if (count >= kVertexKindCapacity[r.batchKind]) return nullptr;
  // A full batch goes as any flush does: dropped while it is suppressed or the program
  // is ending.
  if ((r.batchCount > 0 || r.asideCount > 0) &&
      (r.batchPrimitive != primitive || r.batchCount + count >= kVertexKindCapacity[r.batchKind]))
    FlushVertexBatch(device);
  r.batchPrimitive = primitive;
  uint8_t* at = r.batchWrite;
  r.batchWrite += count * kVertexKindSize[r.batchKind];
  r.batchCount += count;
  return at;
}

// The common road of the setters: the record, or null when the cached value stands.
Device3DRecord* Changing(int32_t device, uint32_t Device3DRecord::*field, uint32_t value) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r || (!r->forceStates && r->*field == value)) return nullptr;
  FlushVertexBatch(device);
  return r;
}

// A render state through the cache. With reportFailure the device's refusal is the
// result; the cache takes the value either way.
int SetCachedState(int32_t device, uint32_t Device3DRecord::*field, PlatD3DRenderState state, uint32_t value,
                   uint32_t sent, bool reportFailure) {
  if (!LiveDeviceRecord(device)) return -1;
  Device3DRecord* r = Changing(device, field, value);
  if (!r) return 0;
  const int32_t result = PlatD3DDeviceSetRenderState(r->device, state, sent);
  r->*field = value;
  return reportFailure && result != PLAT_D3D_OK ? -1 : 0;
}

}  // namespace

int FlushVertexBatch(int32_t device) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return -1;
  if (!IsEndRequested() && !r->suppressDraw) {
    if (r->asideCount > 0) DrawLanes(*r);
    else if (r->batchCount > 0) DrawBatch(*r);
  } else if (r->asideCount > 0) {
    BindStage0(*r, r->texture);
  }
  EmptyBatch(*r);
  return 0;
}

int FlushCurrentVertexBatch() { return FlushVertexBatch(g_Direct3D.currentDevice); }

PlatD3DDevice CurrentDevice3D() {
  const Device3DRecord* r = DeviceRecordAt(g_Direct3D.currentDevice);
  return r ? r->device : 0;
}

int SetDeviceTexturePerspective(int32_t device, uint32_t value) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return -1;
  if (!r->forceStates && r->texturePerspective == value) return 0;
  // No flush: the vertices already batched take the new setting too.
  const int32_t result = PlatD3DDeviceSetRenderState(r->device, PLAT_D3DRS_TEXTUREPERSPECTIVE, value);
  r->texturePerspective = value;
  return result == PLAT_D3D_OK ? 0 : -1;
}

int SetDeviceColorKeyEnable(int32_t device, uint32_t value) {
  return SetCachedState(device, &Device3DRecord::colorKeyEnable, PLAT_D3DRS_COLORKEYENABLE, value, value, false);
}

int SetDeviceZEnable(int32_t device, uint32_t value) {
  return SetCachedState(device, &Device3DRecord::zEnable, PLAT_D3DRS_ZENABLE, value,
                        value == 1 ? PLAT_D3DZB_TRUE : PLAT_D3DZB_FALSE, false);
}

int SetDeviceZWriteEnable(int32_t device, uint32_t value) {
  return SetCachedState(device, &Device3DRecord::zWriteEnable, PLAT_D3DRS_ZWRITEENABLE, value, value, false);
}

int SetDeviceZFunc(int32_t device, uint32_t value) {
  return SetCachedState(device, &Device3DRecord::zFunc, PLAT_D3DRS_ZFUNC, value, value, false);
}

int SetDeviceZBias(int32_t device, uint32_t value) {
  return SetCachedState(device, &Device3DRecord::zBias, PLAT_D3DRS_ZBIAS, value, value, false);
}

int SetDeviceCullMode(int32_t device, uint32_t value) {
  return SetCachedState(device, &Device3DRecord::cullFlag, PLAT_D3DRS_CULLMODE, value,
                        value == 0 ? PLAT_D3DCULL_NONE : PLAT_D3DCULL_CCW, false);
}

int SetDeviceShadeMode(int32_t device, uint32_t value) {
  return SetCachedState(device, &Device3DRecord::shadeMode, PLAT_D3DRS_SHADEMODE, value, value, true);
}

int SetDeviceFogEnable(int32_t device, uint32_t value) {
  return SetCachedState(device, &Device3DRecord::fogEnable, PLAT_D3DRS_FOGENABLE, value, value, true);
}

int SetDeviceFilterMode(int32_t device, uint32_t mode) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return -1;
  if (!r->forceStates && r->filterMode == mode) return 0;
  FlushVertexBatch(device);
  if (mode > 1) return -1;
  const uint32_t kind = mode == 0 ? 1 : 2;
  for (uint32_t s = 0; s < r->stagesInUse && s < DEVICE3D_STAGES; s++) {
    if (r->forceStates || r->magFilter[s] != kind) {
      PlatD3DDeviceSetTextureStageState(r->device, s, PLAT_D3DTSS_MAGFILTER, kMagFilterTable[kind]);
      r->magFilter[s] = kind;
    }
    if (r->forceStates || r->minFilter[s] != kind) {
      PlatD3DDeviceSetTextureStageState(r->device, s, PLAT_D3DTSS_MINFILTER, kMinFilterTable[kind]);
      r->minFilter[s] = kind;
    }
  }
  r->filterMode = mode;
  return 0;
}

int SetDeviceTexture(int32_t device, PlatDDSurface surface) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return -1;
  if (!r->forceStates && r->texture == surface) return 0;
  FlushVertexBatch(device);
  r->textureDirty = 1;
  if ((r->texture == 0) != (surface == 0)) r->statesDirty = 1;
  r->texture = surface;
  return 0;
}

int SetDeviceBlendTexture(int32_t device, PlatDDSurface surface, int32_t threshold, int32_t range) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return -1;
  if (!r->forceStates) {
    if (surface == 0 && r->blendTexture == 0) return 0;
    if (surface == r->blendTexture && threshold == r->blendThreshold && range == r->blendRange) return 0;
  }
  FlushVertexBatch(device);
  r->blendTexture = surface;
  if (threshold != -1) r->blendThreshold = threshold;
  if (range != -1) r->blendRange = range;
  r->statesDirty = 1;
  return 0;
}

int SetDeviceBlendRequest(int32_t device, int32_t mode, uint32_t alphaChannel, uint32_t alphaTest) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return -1;
  if (!r->forceStates && r->blendMode == mode && r->textureAlphaChannel == alphaChannel &&
      r->textureAlphaTest == alphaTest)
    return 0;
  FlushVertexBatch(device);
  r->blendMode = mode;
  r->textureAlphaChannel = alphaChannel;
  r->textureAlphaTest = alphaTest;
  r->statesDirty = 1;
  return 0;
}

namespace {

int RecordFlag(int32_t device, uint32_t Device3DRecord::*field, uint32_t flag) {
  if (!LiveDeviceRecord(device)) return -1;
  Device3DRecord* r = Changing(device, field, flag);
  if (!r) return 0;
  r->*field = flag;
  r->statesDirty = 1;
  return 0;
}

}  // namespace

int SetDeviceModulateAlpha(int32_t device, uint32_t flag) {
  return RecordFlag(device, &Device3DRecord::modulateAlpha, flag);
}

int SetDeviceModulateColor(int32_t device, uint32_t flag) {
  return RecordFlag(device, &Device3DRecord::modulateColor, flag);
}

void* ReserveBatchVertices(int32_t device, uint32_t primitive, uint32_t count) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return nullptr;
  // Vertices whose pixels the batch does not know: no lane may be drawn past them.
  if (r->asideCount > 0) FlushVertexBatch(device);
  void* at = Reserve(*r, device, primitive, count);
  if (at) r->batchRectCount = kLaneUntracked;
  return at;
}

void* ReserveBatchQuad(int32_t device, const int32_t (&rect)[4]) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return nullptr;
  if (r->asideCount > 0 &&
      (r->batchRectCount >= kLaneRects || (!r->asideFirst && Overlaps(r->asideRects, r->asideRectCount, rect))))
    FlushVertexBatch(device);
  void* at = Reserve(*r, device, PLAT_D3DPT_TRIANGLELIST, 6);
  if (!at) return nullptr;
  if (r->batchRectCount < kLaneRects) {
    std::copy(rect, rect + 4, r->batchRects[r->batchRectCount]);
    r->batchRectCount++;
  } else {
    r->batchRectCount = kLaneUntracked;
  }
  return at;
}

bool TakeBatchLane(Device3DRecord* r, PlatDDSurface texture) {
  if (texture == r->texture || !texture || !r->texture || r->forceStates || r->statesDirty || r->textureDirty ||
      r->blendTexture || r->suppressDraw || r->batchKind != VERTEX_KIND_TEXTURED ||
      r->batchPrimitive != PLAT_D3DPT_TRIANGLELIST || r->batchRectCount > kLaneRects)
    return false;
  const bool park = r->asideCount == 0;
  if (park ? r->batchCount == 0 : r->asideTexture != texture) return false;
  // The device keeps the texture it has until the lanes go out (DrawLanes binds each).
  std::swap(r->vertexBuffers[VERTEX_KIND_TEXTURED], r->asideBuffer);
  std::swap(r->batchCount, r->asideCount);
  std::swap(r->batchRects, r->asideRects);
  std::swap(r->batchRectCount, r->asideRectCount);
  r->asideTexture = r->texture;
  r->texture = texture;
  r->asideFirst = park ? 1 : !r->asideFirst;
  r->batchWrite = r->vertexBuffers[VERTEX_KIND_TEXTURED] + r->batchCount * kVertexKindSize[VERTEX_KIND_TEXTURED];
  return true;
}

void* AddBatchVertices(const Surface3DData* texture, uint32_t flags, uint32_t primitive, uint32_t count) {
  const int32_t device = g_Direct3D.currentDevice;
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return nullptr;
  ChooseTextureStates(texture, flags);
  if (r->statesDirty || r->textureDirty) ApplyDrawStates(device);
  return ReserveBatchVertices(device, primitive, count);
}
