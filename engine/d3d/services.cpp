// What graphics asks of the renderer that belongs to no other part of it.
#include "engine/d3d/direct3d.h"
#include "engine/d3d/texture3d.h"

int Is3DAvailable() { return LiveDeviceRecord(g_Direct3D.currentDevice) ? 1 : 0; }

int SetCurrentRenderTarget(PlatDDSurface surface) { return SetDeviceRenderTarget(surface, g_Direct3D.currentDevice); }

int SetCurrentViewport(const PlatD3DViewport* viewport) {
  return SetDeviceViewport(viewport, g_Direct3D.currentDevice);
}

int32_t TileSurfaceData(int32_t tile, int32_t* x, int32_t* y) {
  const Surface3DData* record = LookupTexture3D(tile);
  if (!record) return -1;
  *x = record->texelX;
  *y = record->texelY;
  return record->surface;
}
