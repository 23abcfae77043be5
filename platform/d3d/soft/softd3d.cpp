// The soft Direct3D-style device: objects and devices as checked ids, their states, and
// draws handed to the rasteriser (softraster.cpp) over the surfaces' host memory.
#include "platform/d3d/soft/softd3d.h"

#include "platform/d3d/soft/softraster.h"
#include "platform/ddraw/surfacememory.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kObjectKind = 0x3D, kDeviceKind = 0x3E;
constexpr uint32_t kSlots = 16;

struct Object {
  bool live = false;
  uint32_t generation = 0;
  PlatDDraw ddraw = 0;
};

struct Device {
  bool live = false;
  uint32_t generation = 0;
  PlatDDSurface target = 0;
  uint32_t states[PLAT_D3DRS_COUNT]{};
  uint32_t stages[PLAT_D3D_STAGES][PLAT_D3DTSS_COUNT]{};
  PlatDDSurface textures[PLAT_D3D_STAGES]{};
  PlatD3DMatrix transforms[7]{};
  PlatD3DViewport viewport{};
  bool inScene = false;
};

struct Soft {
  Object objects[kSlots];
  Device devices[kSlots];
};

Soft& S() {
  static Soft* s = new Soft;
  return *s;
}

uint32_t Handle(uint32_t kind, uint32_t slot, uint32_t generation) {
  return kind << 24 | (generation & 0xFFFF) << 8 | slot;
}

template <typename T>
T* Find(T (&table)[kSlots], uint32_t kind, uint32_t handle) {
  const uint32_t slot = handle & 0xFF;
  if (handle >> 24 != kind || slot >= kSlots) return nullptr;
  T& t = table[slot];
  if (!t.live || (t.generation & 0xFFFF) != (handle >> 8 & 0xFFFF)) return nullptr;
  return &t;
}

Object* FindObject(PlatD3D h) { return Find(S().objects, kObjectKind, h); }
Device* FindDevice(PlatD3DDevice h) { return Find(S().devices, kDeviceKind, h); }

PlatDDPixelFormat Rgb(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
  PlatDDPixelFormat f{};
  f.size = sizeof f;
  f.flags = PLAT_DDPF_RGB | (a ? uint32_t(PLAT_DDPF_ALPHAPIXELS) : 0u);
  f.bitCount = bits;
  f.rMask = r;
  f.gMask = g;
  f.bMask = b;
  f.aMask = a;
  return f;
}

// The order decides which 16-bit plain format an enumerating caller meets first.
const PlatDDPixelFormat kTextureFormats[] = {
    Rgb(16, 0xF800, 0x07E0, 0x001F, 0),        Rgb(16, 0x7C00, 0x03E0, 0x001F, 0),
    Rgb(16, 0x0F00, 0x00F0, 0x000F, 0xF000),   Rgb(16, 0x7C00, 0x03E0, 0x001F, 0x8000),
    Rgb(32, 0xFF0000, 0xFF00, 0xFF, 0),        Rgb(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u),
};

PlatD3DDeviceDesc MakeDesc() {
  PlatD3DDeviceDesc d{};
  d.deviceType = PLAT_D3DDEVTYPE_HAL;
  d.triCaps.textureCaps = PLAT_D3DPTEXTURECAPS_ALPHA;
  d.deviceRenderBitDepth = PLAT_DDBD_16 | PLAT_DDBD_32;
  d.deviceZBufferBitDepth = PLAT_DDBD_16;
  d.minTextureWidth = d.minTextureHeight = 1;
  d.maxTextureWidth = d.maxTextureHeight = 2048;
  d.maxTextureBlendStages = 8;
  d.maxSimultaneousTextures = 8;
  return d;
}

void Defaults(Device& d, bool depth) {
  std::memset(d.states, 0, sizeof d.states);
  d.states[PLAT_D3DRS_ZENABLE] = depth ? PLAT_D3DZB_TRUE : PLAT_D3DZB_FALSE;
  d.states[PLAT_D3DRS_ZWRITEENABLE] = 1;
  d.states[PLAT_D3DRS_ZFUNC] = PLAT_D3DCMP_LESSEQUAL;
  d.states[PLAT_D3DRS_ALPHAFUNC] = PLAT_D3DCMP_ALWAYS;
  d.states[PLAT_D3DRS_SRCBLEND] = PLAT_D3DBLEND_ONE;
  d.states[PLAT_D3DRS_DESTBLEND] = PLAT_D3DBLEND_ZERO;
  d.states[PLAT_D3DRS_CULLMODE] = PLAT_D3DCULL_CCW;
  d.states[PLAT_D3DRS_SHADEMODE] = PLAT_D3DSHADE_GOURAUD;
  d.states[PLAT_D3DRS_TEXTUREFACTOR] = 0xFFFFFFFFu;
  d.states[PLAT_D3DRS_DIFFUSEMATERIALSOURCE] = PLAT_D3DMCS_COLOR1;
  d.states[PLAT_D3DRS_SPECULARMATERIALSOURCE] = PLAT_D3DMCS_COLOR2;
  d.states[PLAT_D3DRS_LIGHTING] = 1;
  d.states[PLAT_D3DRS_TEXTUREPERSPECTIVE] = 1;
  for (uint32_t s = 0; s < PLAT_D3D_STAGES; s++) {
    uint32_t* t = d.stages[s];
    t[PLAT_D3DTSS_COLOROP] = s == 0 ? PLAT_D3DTOP_MODULATE : PLAT_D3DTOP_DISABLE;
    t[PLAT_D3DTSS_ALPHAOP] = s == 0 ? PLAT_D3DTOP_SELECTARG1 : PLAT_D3DTOP_DISABLE;
    t[PLAT_D3DTSS_COLORARG1] = t[PLAT_D3DTSS_ALPHAARG1] = PLAT_D3DTA_TEXTURE;
    t[PLAT_D3DTSS_COLORARG2] = t[PLAT_D3DTSS_ALPHAARG2] = PLAT_D3DTA_CURRENT;
    t[PLAT_D3DTSS_TEXCOORDINDEX] = s;
    t[PLAT_D3DTSS_ADDRESS] = PLAT_D3DTADDRESS_WRAP;
    t[PLAT_D3DTSS_MAGFILTER] = PLAT_D3DTFG_POINT;
    t[PLAT_D3DTSS_MINFILTER] = PLAT_D3DTFN_POINT;
    t[PLAT_D3DTSS_MIPFILTER] = PLAT_D3DTFP_NONE;
    d.textures[s] = 0;
  }
  std::memset(d.transforms, 0, sizeof d.transforms);
  for (PlatD3DMatrix& m : d.transforms)
    for (int i = 0; i < 4; i++) m.m[i][i] = 1;
}

// A surface the device can draw into or read as a texture.
int32_t SoftSurface(PlatDDSurface handle, soft::Surface* out, PlatDDSurfaceMemory* memory = nullptr) {
  PlatDDSurfaceMemory m;
  if (int32_t e = PlatDDSurfaceGetMemory(handle, &m)) return e;
  if (!soft::LayoutOf(m.format, &out->layout)) return PLAT_DDERR_INVALIDPIXELFORMAT;
  out->bits = m.bits;
  out->width = m.width;
  out->height = m.height;
  out->pitch = m.pitch;
  out->keyed = m.keyed;
  out->keyBits = m.key.low & out->layout.colorMask;
  if (memory) *memory = m;
  return PLAT_D3D_OK;
}

bool KnownOp(uint32_t op) { return op >= PLAT_D3DTOP_SELECTARG1 && op <= PLAT_D3DTOP_BLENDCURRENTALPHA; }

// Gathers the device's states and surfaces for the draws of one call.
int32_t Prepare(const Device& dev, soft::Draw* d, soft::Surface* textures) {
  PlatDDSurfaceMemory target;
  if (int32_t e = SoftSurface(dev.target, &d->target, &target))
    return e == PLAT_DDERR_INVALIDPIXELFORMAT ? PLAT_D3DERR_INVALIDRENDERTARGET : e;
  const uint32_t* rs = dev.states;
  d->depth = nullptr;
  PlatDDSurfaceMemory z;
  // Without the z test and write the depth surface plays no part.
  if (rs[PLAT_D3DRS_ZENABLE] != PLAT_D3DZB_FALSE && target.depth && PlatDDSurfaceGetMemory(target.depth, &z) == PLAT_DD_OK && z.format.bitCount == 16 &&
      (z.format.flags & PLAT_DDPF_ZBUFFER) && z.width >= target.width && z.height >= target.height) {
    d->depth = z.bits;
    d->depthPitch = z.pitch;
  }
  const bool zOn = d->depth && rs[PLAT_D3DRS_ZENABLE] != PLAT_D3DZB_FALSE;
  d->zTest = zOn;
  d->zWrite = zOn && rs[PLAT_D3DRS_ZWRITEENABLE];
  d->zFunc = rs[PLAT_D3DRS_ZFUNC];
  // A viewport set while the target was locked or lost was never measured: every corner is
  // cut to the target unsigned, so one past 2^31 cannot turn negative.
  const PlatD3DViewport& v = dev.viewport;
  auto cut = [](uint64_t at, int32_t side) { return int32_t(std::min<uint64_t>(at, uint64_t(side))); };
  d->scissor = {cut(v.x, target.width), cut(v.y, target.height), cut(uint64_t(v.x) + v.width, target.width),
                cut(uint64_t(v.y) + v.height, target.height)};
  d->alphaTest = rs[PLAT_D3DRS_ALPHATESTENABLE] != 0;
  d->alphaFunc = rs[PLAT_D3DRS_ALPHAFUNC];
  d->alphaRef = rs[PLAT_D3DRS_ALPHAREF] & 0xFF;
  d->blend = rs[PLAT_D3DRS_ALPHABLENDENABLE] != 0;
  d->srcBlend = rs[PLAT_D3DRS_SRCBLEND];
  d->destBlend = rs[PLAT_D3DRS_DESTBLEND];
  d->cull = rs[PLAT_D3DRS_CULLMODE];
  d->textureFactor = rs[PLAT_D3DRS_TEXTUREFACTOR];
  d->colorKey = rs[PLAT_D3DRS_COLORKEYENABLE] != 0;
  d->stageCount = 0;
  for (uint32_t s = 0; s < PLAT_D3D_STAGES; s++) {
    const uint32_t* t = dev.stages[s];
    if (!KnownOp(t[PLAT_D3DTSS_COLOROP])) break;
    soft::Stage& st = d->stages[s];
    st.colorOp = t[PLAT_D3DTSS_COLOROP];
    st.colorArg1 = t[PLAT_D3DTSS_COLORARG1];
    st.colorArg2 = t[PLAT_D3DTSS_COLORARG2];
    st.alphaOp = KnownOp(t[PLAT_D3DTSS_ALPHAOP]) ? t[PLAT_D3DTSS_ALPHAOP] : uint32_t(PLAT_D3DTOP_DISABLE);
    st.alphaArg1 = t[PLAT_D3DTSS_ALPHAARG1];
    st.alphaArg2 = t[PLAT_D3DTSS_ALPHAARG2];
    st.coordSet = t[PLAT_D3DTSS_TEXCOORDINDEX] == 1 ? 1 : 0;
    st.linear = t[PLAT_D3DTSS_MAGFILTER] != PLAT_D3DTFG_POINT;
    st.texture = nullptr;
    if (dev.textures[s]) {
      if (int32_t e = SoftSurface(dev.textures[s], &textures[s])) return e;
      st.texture = &textures[s];
    }
    d->stageCount = int(s) + 1;
  }
  soft::ChooseSpans(d);
  return PLAT_D3D_OK;
}

// The vertex at index i of a buffer of the format.
soft::Vertex Decode(uint32_t fvf, const uint8_t* base, uint32_t i) {
  soft::Vertex v{};
  v.diffuse = 0xFFFFFFFFu;
  switch (fvf) {
    case PLAT_D3DFVF_COLORVERTEX: {
      PlatD3DColorVertex c;
      std::memcpy(&c, base + size_t(i) * sizeof c, sizeof c);
      v = {c.x, c.y, c.z, c.diffuse, 0, {0, 0}, {0, 0}};
      break;
    }
    case PLAT_D3DFVF_TEXTUREDVERTEX: {
      PlatD3DTexturedVertex c;
      std::memcpy(&c, base + size_t(i) * sizeof c, sizeof c);
      v = {c.x, c.y, c.z, c.diffuse, 0, {c.u, c.u}, {c.v, c.v}};
      break;
    }
    default: {
      PlatD3DBlendVertex c;
      std::memcpy(&c, base + size_t(i) * sizeof c, sizeof c);
      v = {c.x, c.y, c.z, c.diffuse, c.specular, {c.u0, c.u1}, {c.v0, c.v1}};
      break;
    }
  }
  return v;
}

int32_t CheckDraw(PlatD3DDevice device, PlatD3DPrimitiveType type, uint32_t fvf, const void* vertices,
                  uint32_t count, Device** out) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  if (type != PLAT_D3DPT_TRIANGLELIST && type != PLAT_D3DPT_TRIANGLESTRIP) return PLAT_D3DERR_INVALIDPRIMITIVETYPE;
  if (!PlatD3DVertexSize(fvf)) return PLAT_D3DERR_INVALIDVERTEXFORMAT;
  if (count && !vertices) return PLAT_DDERR_INVALIDPARAMS;
  *out = d;
  return PLAT_D3D_OK;
}

// Draws the triangles of a list or strip of n vertices, vertex k being at(k). Two triangles
// in turn that make a screen rectangle (a sprite's quad) may go as one; they cover no pixel
// twice, so the order within the pair is no matter.
template <typename At>
void DrawTriangles(const soft::Draw& draw, PlatD3DPrimitiveType type, uint32_t n, At at) {
  const uint32_t stride = type == PLAT_D3DPT_TRIANGLELIST ? 3 : 1;
  const bool strip = stride == 1;
  for (uint32_t k = 0; k + 3 <= n; k += stride) {
    const soft::Vertex a[3] = {at(k), at(k + 1), at(k + 2)};
    const bool reversed = strip && (k & 1) != 0;
    if (k + stride + 3 <= n) {
      const uint32_t m = k + stride;
      const soft::Vertex b[3] = {at(m), at(m + 1), at(m + 2)};
      if (soft::DrawRectangle(draw, a, reversed, b, strip && (m & 1) != 0)) {
        k = m;
        continue;
      }
    }
    soft::DrawTriangle(draw, a[0], a[1], a[2], reversed);
  }
}

// ---- the table's functions ---------------------------------------------------------------------

int32_t Create(PlatDDraw ddraw, PlatD3D* out) {
  Soft& s = S();
  for (uint32_t i = 0; i < kSlots; i++) {
    Object& o = s.objects[i];
    if (o.live) continue;
    o.live = true;
    o.ddraw = ddraw;
    *out = Handle(kObjectKind, i, o.generation);
    return PLAT_D3D_OK;
  }
  return PLAT_DDERR_OUTOFMEMORY;
}

int32_t Release(PlatD3D d3d) {
  Object* o = FindObject(d3d);
  if (!o) return PLAT_DDERR_INVALIDOBJECT;
  o->live = false;
  o->generation++;
  return PLAT_D3D_OK;
}

int32_t EnumDevices(PlatD3D d3d, PlatD3DEnumDevicesCallback callback, void* context) {
  if (!FindObject(d3d)) return PLAT_DDERR_INVALIDOBJECT;
  if (!callback) return PLAT_DDERR_INVALIDPARAMS;
  const PlatD3DDeviceDesc desc = PlatD3DSoftDeviceDesc();
  callback("Soft rasteriser", "soft", &desc, context);
  return PLAT_D3D_OK;
}

int32_t EnumZBufferFormats(PlatD3D d3d, PlatD3DDeviceType type, PlatD3DEnumPixelFormatsCallback callback,
                           void* context) {
  if (!FindObject(d3d)) return PLAT_DDERR_INVALIDOBJECT;
  if (!callback) return PLAT_DDERR_INVALIDPARAMS;
  if (type != PLAT_D3DDEVTYPE_HAL) return PLAT_D3DERR_INVALIDDEVICETYPE;
  const PlatDDPixelFormat z = PlatD3DSoftZFormat();
  callback(&z, context);
  return PLAT_D3D_OK;
}

int32_t CreateDevice(PlatD3D d3d, PlatD3DDeviceType type, PlatDDSurface target, PlatD3DDevice* out) {
  if (!FindObject(d3d)) return PLAT_DDERR_INVALIDOBJECT;
  if (!out) return PLAT_DDERR_INVALIDPARAMS;
  *out = 0;
  if (type != PLAT_D3DDEVTYPE_HAL) return PLAT_D3DERR_INVALIDDEVICETYPE;
  soft::Surface t;
  PlatDDSurfaceMemory m;
  if (int32_t e = SoftSurface(target, &t, &m)) return e == PLAT_DDERR_INVALIDPIXELFORMAT ? PLAT_D3DERR_INVALIDRENDERTARGET : e;
  Soft& s = S();
  for (uint32_t i = 0; i < kSlots; i++) {
    Device& d = s.devices[i];
    if (d.live) continue;
    d.live = true;
    d.target = target;
    d.inScene = false;
    d.viewport = {0, 0, uint32_t(m.width), uint32_t(m.height), 0.0f, 1.0f};
    Defaults(d, m.depth != 0);
    *out = Handle(kDeviceKind, i, d.generation);
    return PLAT_D3D_OK;
  }
  return PLAT_DDERR_OUTOFMEMORY;
}

int32_t DeviceRelease(PlatD3DDevice device) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  d->live = false;
  d->generation++;
  return PLAT_D3D_OK;
}

int32_t GetCaps(PlatD3DDevice device, PlatD3DDeviceDesc* desc) {
  if (!FindDevice(device)) return PLAT_DDERR_INVALIDOBJECT;
  if (!desc) return PLAT_DDERR_INVALIDPARAMS;
  *desc = PlatD3DSoftDeviceDesc();
  return PLAT_D3D_OK;
}

int32_t EnumTextureFormats(PlatD3DDevice device, PlatD3DEnumPixelFormatsCallback callback, void* context) {
  if (!FindDevice(device)) return PLAT_DDERR_INVALIDOBJECT;
  if (!callback) return PLAT_DDERR_INVALIDPARAMS;
  for (const PlatDDPixelFormat& f : kTextureFormats)
    if (callback(&f, context) == PLAT_D3DENUMRET_CANCEL) break;
  return PLAT_D3D_OK;
}

int32_t SetRenderState(PlatD3DDevice device, PlatD3DRenderState state, uint32_t value) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  if (state >= PLAT_D3DRS_COUNT) return PLAT_D3DERR_INVALIDSTATE;
  d->states[state] = value;
  return PLAT_D3D_OK;
}

int32_t GetRenderState(PlatD3DDevice device, PlatD3DRenderState state, uint32_t* value) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  if (state >= PLAT_D3DRS_COUNT) return PLAT_D3DERR_INVALIDSTATE;
  if (!value) return PLAT_DDERR_INVALIDPARAMS;
  *value = d->states[state];
  return PLAT_D3D_OK;
}

int32_t SetTextureStageState(PlatD3DDevice device, uint32_t stage, PlatD3DTextureStageState state, uint32_t value) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  if (stage >= PLAT_D3D_STAGES || state >= PLAT_D3DTSS_COUNT) return PLAT_D3DERR_INVALIDSTATE;
  d->stages[stage][state] = value;
  return PLAT_D3D_OK;
}

int32_t GetTextureStageState(PlatD3DDevice device, uint32_t stage, PlatD3DTextureStageState state,
                             uint32_t* value) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  if (stage >= PLAT_D3D_STAGES || state >= PLAT_D3DTSS_COUNT) return PLAT_D3DERR_INVALIDSTATE;
  if (!value) return PLAT_DDERR_INVALIDPARAMS;
  *value = d->stages[stage][state];
  return PLAT_D3D_OK;
}

int32_t SetTexture(PlatD3DDevice device, uint32_t stage, PlatDDSurface texture) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  if (stage >= PLAT_D3D_STAGES) return PLAT_D3DERR_INVALIDSTATE;
  if (texture) {
    soft::Surface t;
    const int32_t e = SoftSurface(texture, &t);
    // A locked or lost texture may be set; it has to exist and be of a readable format.
    if (e == PLAT_DDERR_INVALIDOBJECT || e == PLAT_DDERR_INVALIDPIXELFORMAT) return e;
  }
  d->textures[stage] = texture;
  return PLAT_D3D_OK;
}

int32_t GetTexture(PlatD3DDevice device, uint32_t stage, PlatDDSurface* texture) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  if (stage >= PLAT_D3D_STAGES) return PLAT_D3DERR_INVALIDSTATE;
  if (!texture) return PLAT_DDERR_INVALIDPARAMS;
  *texture = d->textures[stage];
  return PLAT_D3D_OK;
}

int32_t SetTransform(PlatD3DDevice device, PlatD3DTransformState state, const PlatD3DMatrix* matrix) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  if (state < PLAT_D3DTRANSFORMSTATE_WORLD || state > PLAT_D3DTRANSFORMSTATE_WORLD3) return PLAT_D3DERR_INVALIDSTATE;
  if (!matrix) return PLAT_DDERR_INVALIDPARAMS;
  d->transforms[state] = *matrix;
  return PLAT_D3D_OK;
}

int32_t GetTransform(PlatD3DDevice device, PlatD3DTransformState state, PlatD3DMatrix* matrix) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  if (state < PLAT_D3DTRANSFORMSTATE_WORLD || state > PLAT_D3DTRANSFORMSTATE_WORLD3) return PLAT_D3DERR_INVALIDSTATE;
  if (!matrix) return PLAT_DDERR_INVALIDPARAMS;
  *matrix = d->transforms[state];
  return PLAT_D3D_OK;
}

int32_t SetViewport(PlatD3DDevice device, const PlatD3DViewport* viewport) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  if (!viewport) return PLAT_DDERR_INVALIDPARAMS;
  PlatDDSurfaceMemory m;
  const int32_t e = PlatDDSurfaceGetMemory(d->target, &m);
  if (e == PLAT_DDERR_INVALIDOBJECT) return e;
  const PlatD3DViewport& v = *viewport;
  if (!v.width || !v.height) return PLAT_D3DERR_VIEWPORTINVALID;
  // A lost or locked target keeps its size: only a live one is measured.
  if (e == PLAT_DD_OK &&
      (uint64_t(v.x) + v.width > uint64_t(m.width) || uint64_t(v.y) + v.height > uint64_t(m.height)))
    return PLAT_D3DERR_VIEWPORTINVALID;
  d->viewport = v;
  return PLAT_D3D_OK;
}

int32_t GetViewport(PlatD3DDevice device, PlatD3DViewport* viewport) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  if (!viewport) return PLAT_DDERR_INVALIDPARAMS;
  *viewport = d->viewport;
  return PLAT_D3D_OK;
}

int32_t SetRenderTarget(PlatD3DDevice device, PlatDDSurface target, uint32_t) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  soft::Surface t;
  PlatDDSurfaceMemory m;
  if (int32_t e = SoftSurface(target, &t, &m)) return e == PLAT_DDERR_INVALIDPIXELFORMAT ? PLAT_D3DERR_INVALIDRENDERTARGET : e;
  d->target = target;
  d->viewport = {0, 0, uint32_t(m.width), uint32_t(m.height), 0.0f, 1.0f};
  return PLAT_D3D_OK;
}

int32_t GetRenderTarget(PlatD3DDevice device, PlatDDSurface* target) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  if (!target) return PLAT_DDERR_INVALIDPARAMS;
  *target = d->target;
  return PLAT_D3D_OK;
}

int32_t BeginScene(PlatD3DDevice device) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  if (d->inScene) return PLAT_D3DERR_SCENEINSCENE;
  d->inScene = true;
  return PLAT_D3D_OK;
}

int32_t EndScene(PlatD3DDevice device) {
  Device* d = FindDevice(device);
  if (!d) return PLAT_DDERR_INVALIDOBJECT;
  if (!d->inScene) return PLAT_D3DERR_SCENENOTINSCENE;
  d->inScene = false;
  PlatDDSurfaceDrawn(d->target);
  return PLAT_D3D_OK;
}

int32_t DrawPrimitive(PlatD3DDevice device, PlatD3DPrimitiveType type, uint32_t fvf, const void* vertices,
                      uint32_t count, uint32_t) {
  Device* d = nullptr;
  if (int32_t e = CheckDraw(device, type, fvf, vertices, count, &d)) return e;
  soft::Draw draw;
  soft::Surface textures[PLAT_D3D_STAGES];
  if (int32_t e = Prepare(*d, &draw, textures)) return e;
  const uint8_t* base = static_cast<const uint8_t*>(vertices);
  DrawTriangles(draw, type, count, [&](uint32_t k) { return Decode(fvf, base, k); });
  return PLAT_D3D_OK;
}

int32_t DrawIndexedPrimitive(PlatD3DDevice device, PlatD3DPrimitiveType type, uint32_t fvf, const void* vertices,
                             uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount, uint32_t) {
  Device* d = nullptr;
  if (int32_t e = CheckDraw(device, type, fvf, vertices, vertexCount, &d)) return e;
  if (indexCount && !indices) return PLAT_DDERR_INVALIDPARAMS;
  for (uint32_t i = 0; i < indexCount; i++)
    if (indices[i] >= vertexCount) return PLAT_D3DERR_INVALIDINDEX;
  soft::Draw draw;
  soft::Surface textures[PLAT_D3D_STAGES];
  if (int32_t e = Prepare(*d, &draw, textures)) return e;
  const uint8_t* base = static_cast<const uint8_t*>(vertices);
  DrawTriangles(draw, type, indexCount, [&](uint32_t k) { return Decode(fvf, base, indices[k]); });
  return PLAT_D3D_OK;
}

int32_t Load(PlatD3DDevice device, PlatDDSurface dst, const PlatPoint* point, PlatDDSurface src,
             const PlatRect* srcRect, uint32_t) {
  if (!FindDevice(device)) return PLAT_DDERR_INVALIDOBJECT;
  PlatDDSurfaceMemory to, from;
  if (int32_t e = PlatDDSurfaceGetMemory(dst, &to)) return e;
  if (int32_t e = PlatDDSurfaceGetMemory(src, &from)) return e;
  if (!PlatDDSameFormat(to.format, from.format)) return PLAT_DDERR_INVALIDPIXELFORMAT;
  const PlatRect r = srcRect ? *srcRect : PlatRect{0, 0, from.width, from.height};
  const PlatPoint p = point ? *point : PlatPoint{0, 0};
  if (r.left < 0 || r.top < 0 || r.left >= r.right || r.top >= r.bottom || r.right > from.width ||
      r.bottom > from.height || p.x < 0 || p.y < 0 || int64_t(p.x) + (r.right - r.left) > to.width ||
      int64_t(p.y) + (r.bottom - r.top) > to.height)
    return PLAT_DDERR_INVALIDRECT;
  const size_t bytes = from.format.bitCount / 8, row = size_t(r.right - r.left) * bytes;
  const int32_t h = r.bottom - r.top;
  // Rows go in the order that keeps an overlapping copy within one surface intact.
  const bool upward = to.bits == from.bits && p.y > r.top;
  for (int32_t i = 0; i < h; i++) {
    const int32_t y = upward ? h - 1 - i : i;
    std::memmove(to.bits + size_t(p.y + y) * size_t(to.pitch) + size_t(p.x) * bytes,
                 from.bits + size_t(r.top + y) * size_t(from.pitch) + size_t(r.left) * bytes, row);
  }
  PlatDDSurfaceDrawn(dst);
  return PLAT_D3D_OK;
}

const PlatD3DBackend kSoft = {
    .name = "soft",
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

const PlatD3DBackend* PlatD3DSoftBackend() { return &kSoft; }

void PlatD3DSoftReset() {
  Soft& s = S();
  for (Object& o : s.objects)
    if (o.live) {
      o.live = false;
      o.generation++;
    }
  for (Device& d : s.devices)
    if (d.live) {
      d.live = false;
      d.generation++;
    }
}

const PlatD3DDeviceDesc& PlatD3DSoftDeviceDesc() {
  static const PlatD3DDeviceDesc desc = MakeDesc();
  return desc;
}

PlatDDPixelFormat PlatD3DSoftZFormat() { return PlatDDDepthFormat16(); }

int PlatD3DSoftTextureFormats(const PlatDDPixelFormat** formats) {
  *formats = kTextureFormats;
  return int(sizeof kTextureFormats / sizeof kTextureFormats[0]);
}
