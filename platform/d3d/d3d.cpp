// The Direct3D-style calls, handed to the back end in use, and the query on the
// DirectDraw-style object.
#include "platform/d3d/d3d.h"

#include "platform/backend/chooser.h"
#include "platform/ddraw/surfacememory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

const PlatBackendOption<PlatD3DBackend> kBackends[] = {
    {.table = PlatD3DSoftBackend, .platforms = PLAT_PLATFORM_SDL | PLAT_PLATFORM_HEADLESS},
    {.table = PlatD3DFakeBackend, .platforms = 0},
};
PlatBackendChoice<PlatD3DBackend> backend(kBackends, PLAT_BACKEND_SWITCHABLE);

std::atomic<int> available{1};

const PlatD3DBackend& B() { return *backend.Get(); }

}  // namespace

uint32_t PlatD3DVertexSize(uint32_t fvf) {
  switch (fvf) {
    case PLAT_D3DFVF_COLORVERTEX: return sizeof(PlatD3DColorVertex);
    case PLAT_D3DFVF_TEXTUREDVERTEX: return sizeof(PlatD3DTexturedVertex);
    case PLAT_D3DFVF_BLENDVERTEX: return sizeof(PlatD3DBlendVertex);
    default: return 0;
  }
}

void PlatD3DSetAvailable(int on) { available.store(on ? 1 : 0); }

int32_t PlatDDrawQueryDirect3D(PlatDDraw ddraw, PlatD3D* d3d) {
  if (!d3d) return PLAT_DDERR_INVALIDPARAMS;
  *d3d = 0;
  if (!PlatDDrawIsObject(ddraw)) return PLAT_DDERR_INVALIDOBJECT;
  const char* env = std::getenv("KR_D3D");
  if (!available.load() || (env && std::strcmp(env, "0") == 0)) return PLAT_D3DERR_NODIRECT3D;
  return B().create(ddraw, d3d);
}

int PlatD3DSelectBackend(const char* name) { return backend.Select(name); }
const char* PlatD3DBackendName() { return backend.Name(); }

int32_t PlatD3DRelease(PlatD3D d3d) { return B().release(d3d); }
int32_t PlatD3DEnumDevices(PlatD3D d3d, PlatD3DEnumDevicesCallback callback, void* context) {
  return B().enumDevices(d3d, callback, context);
}
int32_t PlatD3DEnumZBufferFormats(PlatD3D d3d, PlatD3DDeviceType type, PlatD3DEnumPixelFormatsCallback callback,
                                  void* context) {
  return B().enumZBufferFormats(d3d, type, callback, context);
}
int32_t PlatD3DCreateDevice(PlatD3D d3d, PlatD3DDeviceType type, PlatDDSurface target, PlatD3DDevice* device) {
  return B().createDevice(d3d, type, target, device);
}
int32_t PlatD3DDeviceRelease(PlatD3DDevice device) { return B().deviceRelease(device); }
int32_t PlatD3DDeviceGetCaps(PlatD3DDevice device, PlatD3DDeviceDesc* desc) { return B().getCaps(device, desc); }
int32_t PlatD3DDeviceEnumTextureFormats(PlatD3DDevice device, PlatD3DEnumPixelFormatsCallback callback,
                                        void* context) {
  return B().enumTextureFormats(device, callback, context);
}
int32_t PlatD3DDeviceSetRenderState(PlatD3DDevice device, PlatD3DRenderState state, uint32_t value) {
  return B().setRenderState(device, state, value);
}
int32_t PlatD3DDeviceGetRenderState(PlatD3DDevice device, PlatD3DRenderState state, uint32_t* value) {
  return B().getRenderState(device, state, value);
}
int32_t PlatD3DDeviceSetTextureStageState(PlatD3DDevice device, uint32_t stage, PlatD3DTextureStageState state,
                                          uint32_t value) {
  return B().setTextureStageState(device, stage, state, value);
}
int32_t PlatD3DDeviceGetTextureStageState(PlatD3DDevice device, uint32_t stage, PlatD3DTextureStageState state,
                                          uint32_t* value) {
  return B().getTextureStageState(device, stage, state, value);
}
int32_t PlatD3DDeviceSetTexture(PlatD3DDevice device, uint32_t stage, PlatDDSurface texture) {
  return B().setTexture(device, stage, texture);
}
int32_t PlatD3DDeviceGetTexture(PlatD3DDevice device, uint32_t stage, PlatDDSurface* texture) {
  return B().getTexture(device, stage, texture);
}
int32_t PlatD3DDeviceSetTransform(PlatD3DDevice device, PlatD3DTransformState state, const PlatD3DMatrix* matrix) {
  return B().setTransform(device, state, matrix);
}
int32_t PlatD3DDeviceGetTransform(PlatD3DDevice device, PlatD3DTransformState state, PlatD3DMatrix* matrix) {
  return B().getTransform(device, state, matrix);
}
int32_t PlatD3DDeviceSetViewport(PlatD3DDevice device, const PlatD3DViewport* viewport) {
  return B().setViewport(device, viewport);
}
int32_t PlatD3DDeviceGetViewport(PlatD3DDevice device, PlatD3DViewport* viewport) {
  return B().getViewport(device, viewport);
}
int32_t PlatD3DDeviceSetRenderTarget(PlatD3DDevice device, PlatDDSurface target, uint32_t flags) {
  return B().setRenderTarget(device, target, flags);
}
int32_t PlatD3DDeviceGetRenderTarget(PlatD3DDevice device, PlatDDSurface* target) {
  return B().getRenderTarget(device, target);
}
int32_t PlatD3DDeviceBeginScene(PlatD3DDevice device) { return B().beginScene(device); }
int32_t PlatD3DDeviceEndScene(PlatD3DDevice device) { return B().endScene(device); }
int32_t PlatD3DDeviceDrawPrimitive(PlatD3DDevice device, PlatD3DPrimitiveType type, uint32_t fvf,
                                   const void* vertices, uint32_t count, uint32_t flags) {
  return B().drawPrimitive(device, type, fvf, vertices, count, flags);
}
int32_t PlatD3DDeviceDrawIndexedPrimitive(PlatD3DDevice device, PlatD3DPrimitiveType type, uint32_t fvf,
                                          const void* vertices, uint32_t vertexCount, const uint16_t* indices,
                                          uint32_t indexCount, uint32_t flags) {
  return B().drawIndexedPrimitive(device, type, fvf, vertices, vertexCount, indices, indexCount, flags);
}
int32_t PlatD3DDeviceLoad(PlatD3DDevice device, PlatDDSurface dst, const PlatPoint* point, PlatDDSurface src,
                          const PlatRect* srcRect, uint32_t flags) {
  return B().load(device, dst, point, src, srcRect, flags);
}
