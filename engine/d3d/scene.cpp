// Scenes, transforms, the viewport and the render target of the Direct3D devices, the
// clear of a texture draw target, grids of vertices as one indexed strip, and the
// re-sending of a device's whole cache after it was made (again).
#include "engine/base/log.h"
#include "engine/base/rect.h"
#include "engine/d3d/direct3d.h"
#include "engine/d3d/texture3d.h"
#include "engine/graphics/graphrecord.h"
#include "engine/graphics/screen.h"
#include "engine/graphics/services.h"
#include "engine/graphics/surface2d.h"
#include "engine/graphics/surfacedata.h"
#include "engine/pixel/drawstate.h"
#include "engine/state/sysdata.h"

#include <cstring>

namespace {

PlatD3DMatrix ToDeviceMatrix(const Matrix4* matrix) {
  static_assert(sizeof(PlatD3DMatrix) == sizeof(Matrix4), "16 floats");
  PlatD3DMatrix m;
  std::memcpy(&m, matrix, sizeof m);
  return m;
}

int SetCurrentTransform(PlatD3DTransformState state, const Matrix4* matrix) {
  const int32_t device = g_Direct3D.currentDevice;
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r || !matrix) return -1;
  FlushVertexBatch(device);
  const PlatD3DMatrix m = ToDeviceMatrix(matrix);
  PlatD3DDeviceSetTransform(r->device, state, &m);
  return 0;
}

void TargetReady(int32_t endSceneAfterDraw) {
  g_Direct3D.endSceneAfterDraw = endSceneAfterDraw;
  g_Renderer3DState.targetUnavailable = 0;
}

// A graph target: its one tile's surface, if Direct3D can render into it.
int SwitchToGraph(int32_t target, int32_t device) {
  const GraphRecord* graph = LookupGraph(target);
  if (!graph) return -1;
  if (graph->surfaceCount != 1) {
    // Drawing on would land on the surface the device was made on.
    g_Renderer3DState.targetUnavailable = 1;
    return 0;
  }
  const SurfaceData* surface = nullptr;
  if (graph->flags.texture) {
    const Surface3DData* tile = LookupTexture3D(graph->surfaces[0]);
    surface = tile ? LookupSurfaceData(tile->surface) : nullptr;
    if (!surface || surface->flags.drawValid != 1) return -1;
  } else {
    const Surface2DRecord* piece = GetSurface2D(graph->surfaces[0]);
    surface = piece ? LookupSurfaceData(piece->surfaceData) : nullptr;
    if (!surface) return -1;
    if (surface->flags.systemMemory || !surface->surface) {
      g_Renderer3DState.targetUnavailable = 1;
      return -1;
    }
  }
  SetDeviceRenderTarget(surface->surface, device);
  TargetReady(0);
  return 0;
}

}  // namespace

int BeginSceneOnDevice(int32_t device) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return -1;
  if (!r->sceneOpen) {
    PlatD3DDeviceBeginScene(r->device);
    r->sceneOpen = 1;
  }
  return 0;
}

int EndSceneOnDevice(int32_t device) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return -1;
  if (r->sceneOpen) {
    FlushVertexBatch(device);
    PlatD3DDeviceEndScene(r->device);
    r->sceneOpen = 0;
  }
  return 0;
}

int EndSceneCurrent() { return EndSceneOnDevice(g_Direct3D.currentDevice); }

int SetDeviceWorldTransform(int32_t device, int32_t index, const PlatD3DMatrix* matrix) {
  static constexpr PlatD3DTransformState kWorld[4] = {PLAT_D3DTRANSFORMSTATE_WORLD, PLAT_D3DTRANSFORMSTATE_WORLD1,
                                                      PLAT_D3DTRANSFORMSTATE_WORLD2, PLAT_D3DTRANSFORMSTATE_WORLD3};
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return -1;
  if (index >= 0 && index < 4 && matrix) PlatD3DDeviceSetTransform(r->device, kWorld[index], matrix);
  return 0;
}

int SetWorldTransform3D(const Matrix4* matrix, int32_t index) {
  const int32_t device = g_Direct3D.currentDevice;
  if (!LiveDeviceRecord(device) || !matrix) return -1;
  FlushVertexBatch(device);
  const PlatD3DMatrix m = ToDeviceMatrix(matrix);
  return SetDeviceWorldTransform(device, index, &m);
}

int SetViewTransform3D(const Matrix4* matrix) { return SetCurrentTransform(PLAT_D3DTRANSFORMSTATE_VIEW, matrix); }

int SetProjectionTransform3D(const Matrix4* matrix) {
  return SetCurrentTransform(PLAT_D3DTRANSFORMSTATE_PROJECTION, matrix);
}

int SetDeviceRenderTarget(PlatDDSurface surface, int32_t device) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return -1;
  if (surface == r->renderTarget && !r->forceStates) return 0;
  if (surface == 0) {
    if (r->renderTarget == 0) return 0;
    surface = r->ownRenderTarget;
  }
  FlushVertexBatch(device);
  PlatD3DDeviceSetRenderTarget(r->device, surface, 0);
  r->renderTarget = surface;
  // The device puts its viewport over the whole new target, so the cached one no longer
  // says what the device has: an empty cache makes the next viewport go out whatever it is.
  r->viewport.width = r->viewport.height = 0;
  return 0;
}

int SetDeviceViewport(const PlatD3DViewport* viewport, int32_t device) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r || !viewport || r->renderTarget == 0) return -1;
  const PlatD3DViewport& v = *viewport;
  const PlatD3DViewport& c = r->viewport;
  if (!r->forceStates && v.x == c.x && v.y == c.y && v.width == c.width && v.height == c.height) return 0;
  FlushVertexBatch(device);
  EndSceneOnDevice(device);
  const PlatD3DViewport wanted = v;  // the caller may have passed the cache itself
  const int32_t result = PlatD3DDeviceSetViewport(r->device, &wanted);
  if (result != PLAT_D3D_OK) return WriteLogFmt("ビューポートのセットに失敗しました ErrorCode %x\n", uint32_t(result));
  r->viewport = wanted;
  return 0;
}

int SetViewportFromRect(const Rect* rect) {
  if (!LiveDeviceRecord(g_Direct3D.currentDevice) || !rect) return -1;
  if (g_Renderer3DState.targetUnavailable) return 0;
  const int64_t width = int64_t(rect->right) - rect->left, height = int64_t(rect->bottom) - rect->top;
  // A negative size would go out as a huge unsigned one.
  if (width <= 0 || height <= 0) return -1;
  const Rect& origin = g_DrawState.targetRect;
  const PlatD3DViewport viewport{uint32_t(rect->left + origin.left), uint32_t(rect->top + origin.top),
                                 uint32_t(width), uint32_t(height), 0.0f, 1.0f};
  return SetDeviceViewport(&viewport, g_Direct3D.currentDevice);
}

int SwitchRenderTarget3D(int32_t target) {
  const int32_t device = g_Direct3D.currentDevice;
  if (!LiveDeviceRecord(device)) return 0;
  FlushVertexBatch(device);
  EndSceneOnDevice(device);
  SetDeviceRenderTarget(0, device);
  SetDeviceTexture(device, 0);
  if (target == DRAW_SCREEN_FRONT) {
    SetDeviceRenderTarget(GetFrontSurface(), device);
    TargetReady(1);
    return 0;
  }
  if (target == DRAW_SCREEN_BACK) {
    SetDeviceRenderTarget(GetBackSurface(), device);
    TargetReady(0);
    return 0;
  }
  return SwitchToGraph(target, device);
}

int ClearDrawTargetTexture() {
  const int32_t device = g_Direct3D.currentDevice;
  if (!LiveDeviceRecord(device)) return -1;
  if (g_DrawState.direct3DSettings[D3D_SETTING_DRAW_SUSPENDED]) return 0;
  FlushVertexBatch(device);
  EndSceneOnDevice(device);
  const int32_t target = GetDrawTargetHandle();
  if (target == DRAW_SCREEN_FRONT || target == -3 || target == DRAW_SCREEN_BACK) return 0;
  const GraphRecord* graph = LookupGraph(target);
  if (!graph || !graph->flags.texture) return 0;
  const Surface3DData* tile = graph->surfaceCount > 0 ? LookupTexture3D(graph->surfaces[0]) : nullptr;
  const SurfaceData* surface = tile ? LookupSurfaceData(tile->surface) : nullptr;
  if (!surface) return -1;
  const PlatRect rect{0, 0, surface->width, surface->height};
  if (surface->depthSurface) {
    PlatDDBltFx fx{sizeof(PlatDDBltFx), 0, 0xFFFF};
    PlatDDSurfaceBlt(surface->depthSurface, &rect, 0, nullptr, PLAT_DDBLT_DEPTHFILL | PLAT_DDBLT_WAIT, &fx);
  }
  const ColorFormat* format = TextureFormatColorFormat(surface->formatIndex);
  const SystemSettings& settings = g_System.settings;
  PlatDDBltFx fx{sizeof(PlatDDBltFx), 0, 0};
  if (format)
    fx.fillColor = ColorToPixelValue(format, settings.backgroundRed, settings.backgroundGreen, settings.backgroundBlue, 0);
  PlatDDSurfaceBlt(surface->surface, &rect, 0, nullptr, PLAT_DDBLT_COLORFILL | PLAT_DDBLT_WAIT, &fx);
  return 0;
}

int DrawVertexGrid3D(int32_t device, int32_t columns, const PlatD3DTexturedVertex* vertices, int32_t rows) {
  constexpr int32_t kListSize = 1000;
  Device3DRecord* r = LiveDeviceRecord(device);
  // One strip takes 2C + 2 places of the list, and every index must fit 16 bits.
  if (!r || !vertices || columns < 2 || rows < 2 || columns > (kListSize - 2) / 2 ||
      int64_t(columns) * rows > 65536)
    return -1;
  FlushVertexBatch(device);
  uint16_t indices[kListSize];
  int32_t count = 0;
  const uint32_t vertexCount = uint32_t(columns * rows);
  auto draw = [&] {
    PlatD3DDeviceDrawIndexedPrimitive(r->device, PLAT_D3DPT_TRIANGLESTRIP, PLAT_D3DFVF_TEXTUREDVERTEX, vertices,
                                      vertexCount, indices, uint32_t(count), 0);
    count = 0;
  };
  for (int32_t row = 0; row <= rows - 2; row++) {
    const int32_t first = row * columns + columns;
    if (count + 2 * columns + 2 > kListSize) draw();
    else if (count > 0) indices[count++] = uint16_t(first);
    for (int32_t c = 0; c < columns; c++) {
      indices[count++] = uint16_t(first + c);
      indices[count++] = uint16_t(row * columns + c);
    }
    if (row != rows - 2) {
      indices[count] = indices[count - 1];
      count++;
    }
  }
  if (count > 0) draw();
  return 0;
}

int ReapplyFixedStates(int32_t device) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return -1;
  FlushVertexBatch(device);
  for (uint32_t s = 0; s < 4; s++) PlatD3DDeviceSetTextureStageState(r->device, s, PLAT_D3DTSS_ADDRESS, r->textureAddress);
  static constexpr uint32_t kCoordinateSet[4] = {0, 1, 1, 0};
  for (uint32_t s = 0; s < 4; s++)
    PlatD3DDeviceSetTextureStageState(r->device, s, PLAT_D3DTSS_TEXCOORDINDEX, kCoordinateSet[s]);
  PlatD3DDeviceSetRenderState(r->device, PLAT_D3DRS_TEXTUREPERSPECTIVE, r->texturePerspective);
  PlatD3DDeviceSetRenderState(r->device, PLAT_D3DRS_SHADEMODE, r->shadeMode);
  PlatD3DDeviceSetRenderState(r->device, PLAT_D3DRS_COLORKEYENABLE, r->colorKeyEnable);
  PlatD3DDeviceSetRenderState(r->device, PLAT_D3DRS_LIGHTING, r->lighting);
  PlatD3DDeviceSetRenderState(r->device, PLAT_D3DRS_CULLMODE, PLAT_D3DCULL_NONE);
  PlatD3DDeviceSetRenderState(r->device, PLAT_D3DRS_DITHERENABLE, 0);
  return 0;
}

void ReapplyDeviceStates(int32_t device) {
  Device3DRecord* r = LiveDeviceRecord(device);
  if (!r) return;
  r->forceStates = 1;
  SetDeviceViewport(&r->viewport, device);
  SetDeviceColorKeyEnable(device, r->colorKeyEnable);
  SetDeviceColorKeyEnable(device, 0);
  ReapplyFixedStates(device);
  SetDeviceFilterMode(device, r->filterMode);
  ApplyDrawStates(device);
  SetDeviceZEnable(device, r->zEnable);
  SetDeviceZWriteEnable(device, r->zWriteEnable);
  SetDeviceZFunc(device, r->zFunc);
  SetDeviceZBias(device, r->zBias);
  SetDeviceCullMode(device, r->cullFlag);
  SetDeviceTexturePerspective(device, r->texturePerspective);
  SetDeviceShadeMode(device, r->shadeMode);
  r->forceStates = 0;
}
