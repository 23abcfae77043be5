// The recording fake of platform/d3d over the soft back end.
#include "platform/d3d/fake/d3dfake.h"

#include "platform/backend/fakecalls.h"
#include "platform/d3d/soft/softd3d.h"

#include <cstring>

namespace {

struct Fake {
  FakeCalls failures;
  std::vector<PlatD3DFakeCall> calls;
  std::vector<PlatD3DFakeDevice> devices;
  std::vector<PlatDDPixelFormat> zFormats, textureFormats;
  bool forward = false;
};

void Script(Fake& f);

Fake& F() {
  static Fake* f = [] {
    Fake* made = new Fake;
    Script(*made);
    return made;
  }();
  return *f;
}

void Script(Fake& f) {
  f.devices = {{"Soft rasteriser", "soft", PlatD3DSoftDeviceDesc()}};
  f.zFormats = {PlatD3DSoftZFormat()};
  const PlatDDPixelFormat* formats = nullptr;
  const int n = PlatD3DSoftTextureFormats(&formats);
  f.textureFormats.assign(formats, formats + n);
}

const PlatD3DBackend& Soft() { return *PlatD3DSoftBackend(); }

uint32_t Bits(float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  return v;
}

// Records the call; answers the failure injected into it, or 0.
int32_t Enter(const char* operation, std::vector<uint32_t> args, PlatD3DFakeCall** record = nullptr) {
  Fake& f = F();
  PlatD3DFakeCall call;
  call.operation = operation;
  call.args = std::move(args);
  f.calls.push_back(std::move(call));
  if (record) *record = &f.calls.back();
  const int32_t injected = f.failures.Enter(operation);
  f.calls.back().result = injected;
  return injected;
}

int32_t Done(int32_t result) {
  F().calls.back().result = result;
  return result;
}

#define RECORD(name, ...) \
  if (int32_t injected = Enter(name, {__VA_ARGS__})) return injected

int32_t Create(PlatDDraw ddraw, PlatD3D* d3d) {
  RECORD("QueryDirect3D", ddraw);
  return Done(Soft().create(ddraw, d3d));
}

int32_t Release(PlatD3D d3d) {
  RECORD("Release", d3d);
  return Done(Soft().release(d3d));
}

// The object must be live in soft; the answer of soft's own enumeration is not used.
int CountNothing(const char*, const char*, const PlatD3DDeviceDesc*, void*) { return PLAT_D3DENUMRET_CANCEL; }

int32_t EnumDevices(PlatD3D d3d, PlatD3DEnumDevicesCallback callback, void* context) {
  RECORD("EnumDevices", d3d);
  if (int32_t e = Soft().enumDevices(d3d, CountNothing, nullptr)) return Done(e);
  if (!callback) return Done(PLAT_DDERR_INVALIDPARAMS);
  const std::vector<PlatD3DFakeDevice> devices = F().devices;
  for (const PlatD3DFakeDevice& d : devices)
    if (callback(d.description.c_str(), d.name.c_str(), &d.desc, context) == PLAT_D3DENUMRET_CANCEL) break;
  return Done(PLAT_D3D_OK);
}

int NoFormat(const PlatDDPixelFormat*, void*) { return PLAT_D3DENUMRET_CANCEL; }

bool Scripted(PlatD3DDeviceType type) {
  for (const PlatD3DFakeDevice& d : F().devices)
    if (d.desc.deviceType == type) return true;
  return false;
}

int32_t EnumZBufferFormats(PlatD3D d3d, PlatD3DDeviceType type, PlatD3DEnumPixelFormatsCallback callback,
                           void* context) {
  RECORD("EnumZBufferFormats", d3d, type);
  if (int32_t e = Soft().enumZBufferFormats(d3d, PLAT_D3DDEVTYPE_HAL, NoFormat, nullptr)) return Done(e);
  if (!callback) return Done(PLAT_DDERR_INVALIDPARAMS);
  if (!Scripted(type)) return Done(PLAT_D3DERR_INVALIDDEVICETYPE);
  const std::vector<PlatDDPixelFormat> formats = F().zFormats;
  for (const PlatDDPixelFormat& z : formats)
    if (callback(&z, context) == PLAT_D3DENUMRET_CANCEL) break;
  return Done(PLAT_D3D_OK);
}

int32_t CreateDevice(PlatD3D d3d, PlatD3DDeviceType type, PlatDDSurface target, PlatD3DDevice* device) {
  RECORD("CreateDevice", d3d, type, target);
  if (!Scripted(type)) {
    if (device) *device = 0;
    return Done(PLAT_D3DERR_INVALIDDEVICETYPE);
  }
  return Done(Soft().createDevice(d3d, PLAT_D3DDEVTYPE_HAL, target, device));
}

int32_t DeviceRelease(PlatD3DDevice device) {
  RECORD("DeviceRelease", device);
  return Done(Soft().deviceRelease(device));
}

int32_t GetCaps(PlatD3DDevice device, PlatD3DDeviceDesc* desc) {
  RECORD("GetCaps", device);
  const int32_t e = Soft().getCaps(device, desc);
  if (e == PLAT_D3D_OK && !F().devices.empty()) *desc = F().devices.front().desc;
  return Done(e);
}

int32_t EnumTextureFormats(PlatD3DDevice device, PlatD3DEnumPixelFormatsCallback callback, void* context) {
  RECORD("EnumTextureFormats", device);
  if (int32_t e = Soft().enumTextureFormats(device, NoFormat, nullptr)) return Done(e);
  if (!callback) return Done(PLAT_DDERR_INVALIDPARAMS);
  const std::vector<PlatDDPixelFormat> formats = F().textureFormats;
  for (const PlatDDPixelFormat& f : formats)
    if (callback(&f, context) == PLAT_D3DENUMRET_CANCEL) break;
  return Done(PLAT_D3D_OK);
}

int32_t SetRenderState(PlatD3DDevice device, PlatD3DRenderState state, uint32_t value) {
  RECORD("SetRenderState", device, state, value);
  return Done(Soft().setRenderState(device, state, value));
}

int32_t GetRenderState(PlatD3DDevice device, PlatD3DRenderState state, uint32_t* value) {
  RECORD("GetRenderState", device, state);
  return Done(Soft().getRenderState(device, state, value));
}

int32_t SetTextureStageState(PlatD3DDevice device, uint32_t stage, PlatD3DTextureStageState state, uint32_t value) {
  RECORD("SetTextureStageState", device, stage, state, value);
  return Done(Soft().setTextureStageState(device, stage, state, value));
}

int32_t GetTextureStageState(PlatD3DDevice device, uint32_t stage, PlatD3DTextureStageState state,
                             uint32_t* value) {
  RECORD("GetTextureStageState", device, stage, state);
  return Done(Soft().getTextureStageState(device, stage, state, value));
}

int32_t SetTexture(PlatD3DDevice device, uint32_t stage, PlatDDSurface texture) {
  RECORD("SetTexture", device, stage, texture);
  return Done(Soft().setTexture(device, stage, texture));
}

int32_t GetTexture(PlatD3DDevice device, uint32_t stage, PlatDDSurface* texture) {
  RECORD("GetTexture", device, stage);
  return Done(Soft().getTexture(device, stage, texture));
}

std::vector<uint32_t> MatrixArgs(PlatD3DDevice device, PlatD3DTransformState state, const PlatD3DMatrix* m) {
  std::vector<uint32_t> args{device, state};
  if (m)
    for (const auto& row : m->m)
      for (float f : row) args.push_back(Bits(f));
  return args;
}

int32_t SetTransform(PlatD3DDevice device, PlatD3DTransformState state, const PlatD3DMatrix* matrix) {
  if (int32_t injected = Enter("SetTransform", MatrixArgs(device, state, matrix))) return injected;
  return Done(Soft().setTransform(device, state, matrix));
}

int32_t GetTransform(PlatD3DDevice device, PlatD3DTransformState state, PlatD3DMatrix* matrix) {
  RECORD("GetTransform", device, state);
  return Done(Soft().getTransform(device, state, matrix));
}

int32_t SetViewport(PlatD3DDevice device, const PlatD3DViewport* v) {
  std::vector<uint32_t> args{device};
  if (v) args.insert(args.end(), {v->x, v->y, v->width, v->height, Bits(v->minZ), Bits(v->maxZ)});
  if (int32_t injected = Enter("SetViewport", args)) return injected;
  return Done(Soft().setViewport(device, v));
}

int32_t GetViewport(PlatD3DDevice device, PlatD3DViewport* viewport) {
  RECORD("GetViewport", device);
  return Done(Soft().getViewport(device, viewport));
}

int32_t SetRenderTarget(PlatD3DDevice device, PlatDDSurface target, uint32_t flags) {
  RECORD("SetRenderTarget", device, target, flags);
  return Done(Soft().setRenderTarget(device, target, flags));
}

int32_t GetRenderTarget(PlatD3DDevice device, PlatDDSurface* target) {
  RECORD("GetRenderTarget", device);
  return Done(Soft().getRenderTarget(device, target));
}

int32_t BeginScene(PlatD3DDevice device) {
  RECORD("BeginScene", device);
  return Done(Soft().beginScene(device));
}

int32_t EndScene(PlatD3DDevice device) {
  RECORD("EndScene", device);
  return Done(Soft().endScene(device));
}

// Without forwarding a draw or Load only needs a live device.
int32_t Unforwarded(PlatD3DDevice device) {
  PlatDDSurface target;
  return Soft().getRenderTarget(device, &target);
}

int32_t DrawPrimitive(PlatD3DDevice device, PlatD3DPrimitiveType type, uint32_t fvf, const void* vertices,
                      uint32_t count, uint32_t flags) {
  PlatD3DFakeCall* call = nullptr;
  const int32_t injected = Enter("DrawPrimitive", {device, type, fvf, count, flags}, &call);
  const uint32_t size = PlatD3DVertexSize(fvf);
  if (vertices && size) {
    const uint8_t* p = static_cast<const uint8_t*>(vertices);
    call->vertices.assign(p, p + size_t(size) * count);
  }
  if (injected) return injected;
  if (!F().forward) return Done(Unforwarded(device));
  return Done(Soft().drawPrimitive(device, type, fvf, vertices, count, flags));
}

int32_t DrawIndexedPrimitive(PlatD3DDevice device, PlatD3DPrimitiveType type, uint32_t fvf, const void* vertices,
                             uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount, uint32_t flags) {
  PlatD3DFakeCall* call = nullptr;
  const int32_t injected =
      Enter("DrawIndexedPrimitive", {device, type, fvf, vertexCount, indexCount, flags}, &call);
  const uint32_t size = PlatD3DVertexSize(fvf);
  if (vertices && size) {
    const uint8_t* p = static_cast<const uint8_t*>(vertices);
    call->vertices.assign(p, p + size_t(size) * vertexCount);
  }
  if (indices) call->indices.assign(indices, indices + indexCount);
  if (injected) return injected;
  if (!F().forward) return Done(Unforwarded(device));
  return Done(Soft().drawIndexedPrimitive(device, type, fvf, vertices, vertexCount, indices, indexCount, flags));
}

int32_t Load(PlatD3DDevice device, PlatDDSurface dst, const PlatPoint* point, PlatDDSurface src,
             const PlatRect* rect, uint32_t flags) {
  std::vector<uint32_t> args{device, dst};
  if (point) args.insert(args.end(), {uint32_t(point->x), uint32_t(point->y)});
  args.push_back(src);
  if (rect)
    args.insert(args.end(), {uint32_t(rect->left), uint32_t(rect->top), uint32_t(rect->right), uint32_t(rect->bottom)});
  args.push_back(flags);
  if (int32_t injected = Enter("Load", args)) return injected;
  if (!F().forward) return Done(Unforwarded(device));
  return Done(Soft().load(device, dst, point, src, rect, flags));
}

const PlatD3DBackend kFake = {
    .name = "fake",
    .create = Create,
    .release = Release,
    .enumDevices = EnumDevices,
    .enumZBufferFormats = EnumZBufferFormats,
    .createDevice = CreateDevice,
    .deviceRelease = DeviceRelease,
    .getCaps = GetCaps,
    .enumTextureFormats = EnumTextureFormats,
    .setRenderState = SetRenderState,
    .getRenderState = GetRenderState,
    .setTextureStageState = SetTextureStageState,
    .getTextureStageState = GetTextureStageState,
    .setTexture = SetTexture,
    .getTexture = GetTexture,
    .setTransform = SetTransform,
    .getTransform = GetTransform,
    .setViewport = SetViewport,
    .getViewport = GetViewport,
    .setRenderTarget = SetRenderTarget,
    .getRenderTarget = GetRenderTarget,
    .beginScene = BeginScene,
    .endScene = EndScene,
    .drawPrimitive = DrawPrimitive,
    .drawIndexedPrimitive = DrawIndexedPrimitive,
    .load = Load,
};

}  // namespace

const PlatD3DBackend* PlatD3DFakeBackend() { return &kFake; }

void PlatD3DFakeReset() {
  Fake& f = F();
  f.failures.Reset();
  f.calls.clear();
  f.forward = false;
  Script(f);
  PlatD3DSoftReset();
  PlatD3DSetAvailable(1);
}

void PlatD3DFakeSetDevices(const std::vector<PlatD3DFakeDevice>& devices) { F().devices = devices; }
void PlatD3DFakeSetZFormats(const std::vector<PlatDDPixelFormat>& formats) { F().zFormats = formats; }
void PlatD3DFakeSetTextureFormats(const std::vector<PlatDDPixelFormat>& formats) { F().textureFormats = formats; }
void PlatD3DFakeFailNth(const char* operation, int n, int32_t error) { F().failures.FailNth(operation, n, error); }
void PlatD3DFakeLoadBusy(int count) { F().failures.FailNext("Load", count, PLAT_DDERR_SURFACEBUSY); }
void PlatD3DFakeForward(int on) { F().forward = on != 0; }
const std::vector<PlatD3DFakeCall>& PlatD3DFakeCalls() { return F().calls; }

std::vector<std::string> PlatD3DFakeCallNames() {
  std::vector<std::string> names;
  for (const PlatD3DFakeCall& c : F().calls) names.push_back(c.operation);
  return names;
}

void PlatD3DFakeClearCalls() { F().calls.clear(); }
