// The Direct3D devices: made on a surface into one of the four records, made again on
// the restore path with every cached state sent again, released while the record keeps
// its cache, and deleted.
#include "engine/base/log.h"
#include "engine/d3d/direct3d.h"
#include "engine/d3d/texture3d.h"
#include "engine/graphics/services.h"
#include "engine/graphics/surfacedata.h"
#include "engine/pixel/drawstate.h"

#include <cstring>

const uint32_t kMagFilterTable[6] = {1, 1, 2, 5, 3, 4};
const uint32_t kMinFilterTable[6] = {1, 1, 2, 3, 3, 3};
const uint32_t kMipFilterTable[6] = {1, 2, 3, 3, 3, 3};

namespace {

constexpr uint32_t kPointFilterKind = 1;

// rhw and specular are written once here and never again; z starts at 0.
void PresetVertexBuffers(Device3DRecord& r) {
  for (PlatD3DColorVertex& v : r.buffer0) v = {0, 0, 0.0f, 1.0f, 0};
  for (PlatD3DTexturedVertex& v : r.buffer1) v = {0, 0, 0.0f, 1.0f, 0, 0, 0};
  for (PlatD3DTexturedVertex& v : r.buffer1Aside) v = {0, 0, 0.0f, 1.0f, 0, 0, 0};
  r.asideBuffer = reinterpret_cast<uint8_t*>(r.buffer1Aside);
  r.batchRects = r.laneRects[0];
  r.asideRects = r.laneRects[1];
  for (PlatD3DBlendVertex& v : r.buffer2) v = {0, 0, 0.0f, 1.0f, 0, 0xFFFFFFFFu, 0, 0, 0, 0};
  r.vertexBuffers[VERTEX_KIND_COLOR] = reinterpret_cast<uint8_t*>(r.buffer0);
  r.vertexBuffers[VERTEX_KIND_TEXTURED] = reinterpret_cast<uint8_t*>(r.buffer1);
  r.vertexBuffers[VERTEX_KIND_BLEND] = reinterpret_cast<uint8_t*>(r.buffer2);
}

void SetCreationDefaults(Device3DRecord& r, PlatDDSurface surface) {
  r.ownRenderTarget = surface;
  r.renderTarget = 0;
  r.blendThreshold = -1;
  r.statesDirty = 1;
  r.zEnable = PLAT_D3DZB_TRUE;
  r.zFunc = PLAT_D3DCMP_LESSEQUAL;
  r.shadeMode = PLAT_D3DSHADE_FLAT;
  r.textureAddress = PLAT_D3DTADDRESS_CLAMP;
  for (uint32_t s = 0; s < DEVICE3D_STAGES; s++) {
    r.magFilter[s] = r.minFilter[s] = r.mipFilter[s] = kPointFilterKind;
    r.stageCache[s] = {0, PLAT_D3DTA_TEXTURE, PLAT_D3DTA_DIFFUSE, PLAT_D3DTOP_DISABLE,
                       PLAT_D3DTA_TEXTURE, PLAT_D3DTA_DIFFUSE, PLAT_D3DTOP_DISABLE};
  }
  r.batchCount = r.asideCount = r.batchRectCount = r.asideRectCount = 0;
  r.asideTexture = 0;
  SetBatchKind(&r, VERTEX_KIND_TEXTURED);
  r.inUse = 1;
}

void ReleaseTextureSurface(int32_t surface) { ReleaseSurfaceObjects(surface); }

void RecreateTextureSurface(int32_t surface) {
  CreateSurfaceObjects(surface);
  ApplySurfaceColorKey(surface);
}

}  // namespace

int32_t CreateDevice3D(PlatDDSurface surface) {
  if (!g_Direct3D.direct3D) return -1;
  int32_t index = 0;
  while (index < DEVICE3D_COUNT && g_Device3D[index].inUse) index++;
  if (index == DEVICE3D_COUNT) return -1;
  Device3DRecord& r = g_Device3D[index];
  std::memset(&r, 0, sizeof r);
  WriteLog("３Ｄデバイスを作成します... ");
  if (PlatD3DCreateDevice(g_Direct3D.direct3D, g_Direct3D.deviceDesc.deviceType, surface, &r.device) !=
      PLAT_D3D_OK) {
    r.device = 0;
    return WriteLog("３Ｄデバイスの作成に失敗しました\n");
  }
  PresetVertexBuffers(r);

  int32_t& address = g_DrawState.direct3DSettings[D3D_SETTING_TEXTURE_ADDRESS];
  if (address == 0) address = PLAT_D3DTADDRESS_CLAMP;
  const uint32_t kind = r.filterMode == 0 ? 1 : r.filterMode == 1 ? 2 : 0;
  for (uint32_t s = 0; s < DEVICE3D_STAGES; s++) {
    PlatD3DDeviceSetTextureStageState(r.device, s, PLAT_D3DTSS_ADDRESS, uint32_t(address));
    if (kind) r.magFilter[s] = r.minFilter[s] = r.mipFilter[s] = kind;
    PlatD3DDeviceSetTextureStageState(r.device, s, PLAT_D3DTSS_MAGFILTER, kMagFilterTable[r.magFilter[s]]);
    PlatD3DDeviceSetTextureStageState(r.device, s, PLAT_D3DTSS_MINFILTER, kMinFilterTable[r.minFilter[s]]);
    PlatD3DDeviceSetTextureStageState(r.device, s, PLAT_D3DTSS_MIPFILTER, kMipFilterTable[r.mipFilter[s]]);
  }
  static constexpr struct {
    PlatD3DRenderState state;
    uint32_t value;
  } kCreationStates[] = {
      {PLAT_D3DRS_COLORKEYBLENDENABLE, 0}, {PLAT_D3DRS_CULLMODE, PLAT_D3DCULL_NONE},
      {PLAT_D3DRS_LIGHTING, 0},            {PLAT_D3DRS_TEXTUREPERSPECTIVE, 0},
      {PLAT_D3DRS_SHADEMODE, PLAT_D3DSHADE_FLAT}, {PLAT_D3DRS_COLORKEYENABLE, 0},
      {PLAT_D3DRS_DITHERENABLE, 0},
  };
  for (const auto& c : kCreationStates) PlatD3DDeviceSetRenderState(r.device, c.state, c.value);

  SetCreationDefaults(r, surface);
  ReapplyDeviceStates(index);
  WriteLog("３Ｄデバイスの作成に成功しました\n");
  return index;
}

int CreateDeviceDefaults(int32_t device) {
  Device3DRecord* r = DeviceRecordAt(device);
  if (!g_Direct3D.direct3D || !r || !r->inUse) return -1;
  if (r->device) return 0;
  WriteLog("３Ｄデバイスを作成します... ");
  if (PlatD3DCreateDevice(g_Direct3D.direct3D, g_Direct3D.deviceDesc.deviceType, r->ownRenderTarget, &r->device) !=
      PLAT_D3D_OK) {
    r->device = 0;
    return WriteLog("３Ｄデバイスの作成に失敗しました\n");
  }
  PlatD3DDeviceSetRenderState(r->device, PLAT_D3DRS_DITHERENABLE, 0);
  WriteLog("３Ｄデバイスの作成に成功しました\n");
  r->forceStates = 1;
  if (r->renderTarget != r->ownRenderTarget) SetDeviceRenderTarget(r->renderTarget, device);
  // The surfaces of the old device are gone: nothing may bind them again before the
  // textures are made again below.
  r->texture = 0;
  r->blendTexture = 0;
  for (StageCacheEntry& stage : r->stageCache) stage.texture = 0;
  r->batchCount = r->asideCount = r->batchRectCount = r->asideRectCount = 0;
  r->asideTexture = 0;
  r->batchWrite = r->vertexBuffers[r->batchKind];

  SetDeviceBlendRequest(device, r->blendMode, r->textureAlphaChannel, r->textureAlphaTest);
  SetDeviceCullMode(device, r->cullFlag);
  SetDeviceFilterMode(device, r->filterMode);
  SetDeviceColorKeyEnable(device, r->colorKeyEnable);
  SetViewportFromRect(&g_DrawState.drawArea);
  ReapplyDeviceStates(device);
  ApplyDrawStates(device);

  ForEachTextureSurface(RecreateTextureSurface);
  // Only now is there a texture of the blend graph to bind.
  BindGraphTexture(LookupGraph(g_DrawState.blendGraph), g_DrawState.blendGraphParam[0],
                   g_DrawState.blendGraphParam[1]);
  r->forceStates = 0;
  return 0;
}

int ReleaseDevice3DObject(int32_t device) {
  Device3DRecord* r = DeviceRecordAt(device);
  if (!g_Direct3D.direct3D || !r || !r->inUse) return -1;
  if (!r->device) return 0;
  ForEachTextureSurface(ReleaseTextureSurface);
  PlatD3DDeviceRelease(r->device);
  r->device = 0;
  WriteLog("Ｄｉｒｅｃｔ３Ｄデバイスを削除しました\n");
  return 0;
}

int DeleteDevice3D() {
  for (Device3DRecord& r : g_Device3D) {
    if (!r.inUse || !g_Direct3D.direct3D) continue;
    if (r.device) PlatD3DDeviceRelease(r.device);
    std::memset(&r, 0, sizeof r);
    WriteLog("３Ｄデバイスの削除は正常に終了しました\n");
  }
  return 0;
}
