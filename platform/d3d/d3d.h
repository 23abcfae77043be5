// Direct3D-style immediate-mode device over the DirectDraw-style surfaces (platform/ddraw).
//
// The object comes from the DirectDraw-style object (PlatDDrawQueryDirect3D). It lists its
// devices and Z-buffer formats and creates a device on a surface. A device draws
// pre-transformed triangles (lists, strips, indexed strips) into its render target, with
// the render states and the 8 texture stages below, and copies rectangles between
// surfaces (Load).
//
// Back ends: `soft` (the one real device, under the sdl and headless platforms alike: it
// draws into the surfaces' host memory) and `fake` (platform/d3d/fake/d3dfake.h: records
// every call, scripts the enumerations, injects failures and may forward to `soft`).
//
// Objects and devices are checked ids (slot and generation): a released one answers
// PLAT_DDERR_INVALIDOBJECT and is never dereferenced. Surfaces are platform/ddraw handles;
// a stale one answers that layer's error. Every call answers PLAT_D3D_OK (0) or an error
// number (negative as a 32-bit value). Main thread only.
#pragma once

#include "platform/ddraw/ddraw.h"

#include <cstdint>

typedef uint32_t PlatD3D;        // the object
typedef uint32_t PlatD3DDevice;  // a device

// ---- results ---------------------------------------------------------------------------
// Besides these, the platform/ddraw errors: INVALIDOBJECT (a stale or foreign id),
// INVALIDPARAMS, INVALIDRECT, INVALIDPIXELFORMAT, SURFACEBUSY (a locked surface, and the
// fake's busy Load) and SURFACELOST.

enum : int32_t {
  PLAT_D3D_OK = 0,
  PLAT_D3DERR_NODIRECT3D = int32_t(0x8876F100u),          // the machine has no 3D device
  PLAT_D3DERR_INVALIDDEVICETYPE = int32_t(0x8876F101u),
  PLAT_D3DERR_INVALIDRENDERTARGET = int32_t(0x8876F102u),  // a format the device cannot write
  PLAT_D3DERR_VIEWPORTINVALID = int32_t(0x8876F103u),      // leaves the render target, or empty
  PLAT_D3DERR_SCENEINSCENE = int32_t(0x8876F104u),
  PLAT_D3DERR_SCENENOTINSCENE = int32_t(0x8876F105u),
  PLAT_D3DERR_INVALIDVERTEXFORMAT = int32_t(0x8876F106u),
  PLAT_D3DERR_INVALIDPRIMITIVETYPE = int32_t(0x8876F107u),
  PLAT_D3DERR_INVALIDINDEX = int32_t(0x8876F108u),         // an index at or past the vertex count
  PLAT_D3DERR_INVALIDSTATE = int32_t(0x8876F109u),         // an unknown state or stage
};

// Enumeration callbacks answer one of these: go on, or stop the walk.
enum : int {
  PLAT_D3DENUMRET_CANCEL = 0,
  PLAT_D3DENUMRET_OK = 1,
};

// ---- devices and caps --------------------------------------------------------------------

enum PlatD3DDeviceType : uint32_t {
  PLAT_D3DDEVTYPE_SOFTWARE = 1,  // a software rasteriser (never offered by `soft`)
  PLAT_D3DDEVTYPE_HAL = 2,       // hardware rasterisation
  PLAT_D3DDEVTYPE_TNLHAL = 3,    // hardware rasterisation, transformation and lighting
};

enum : uint32_t {  // render bit depths (PlatD3DDeviceDesc.deviceRenderBitDepth)
  PLAT_DDBD_8 = 0x1,
  PLAT_DDBD_16 = 0x2,
  PLAT_DDBD_24 = 0x4,
  PLAT_DDBD_32 = 0x8,
};

enum : uint32_t {  // PlatD3DPrimCaps.textureCaps
  PLAT_D3DPTEXTURECAPS_POW2 = 0x1,        // texture sides must be powers of two
  PLAT_D3DPTEXTURECAPS_SQUAREONLY = 0x2,  // textures must be square
  PLAT_D3DPTEXTURECAPS_ALPHA = 0x4,
};

struct PlatD3DPrimCaps {
  uint32_t textureCaps;
  uint32_t textureFilterCaps;
  uint32_t textureBlendCaps;
  uint32_t srcBlendCaps, destBlendCaps;
  uint32_t alphaCmpCaps, zCmpCaps;
};

struct PlatD3DDeviceDesc {
  PlatD3DDeviceType deviceType;  // what CreateDevice and EnumZBufferFormats take
  uint32_t devCaps;
  PlatD3DPrimCaps triCaps;
  uint32_t deviceRenderBitDepth;  // PLAT_DDBD_* bits
  uint32_t deviceZBufferBitDepth;
  uint32_t minTextureWidth, minTextureHeight;
  uint32_t maxTextureWidth, maxTextureHeight;
  uint16_t maxTextureBlendStages;
  uint16_t maxSimultaneousTextures;
};

// description and name are UTF-8.
typedef int (*PlatD3DEnumDevicesCallback)(const char* description, const char* name, const PlatD3DDeviceDesc* desc,
                                          void* context);
// Z-buffer formats and texture formats (a null format never comes from `soft`).
typedef int (*PlatD3DEnumPixelFormatsCallback)(const PlatDDPixelFormat* format, void* context);

// ---- states ------------------------------------------------------------------------------

enum PlatD3DRenderState : uint32_t {
  PLAT_D3DRS_ZENABLE,                 // PLAT_D3DZB_*
  PLAT_D3DRS_ZWRITEENABLE,
  PLAT_D3DRS_ZFUNC,                   // PLAT_D3DCMP_*
  PLAT_D3DRS_ZBIAS,                   // recorded only
  PLAT_D3DRS_ALPHATESTENABLE,
  PLAT_D3DRS_ALPHAREF,                // 0..255
  PLAT_D3DRS_ALPHAFUNC,               // PLAT_D3DCMP_*
  PLAT_D3DRS_ALPHABLENDENABLE,
  PLAT_D3DRS_SRCBLEND,                // PLAT_D3DBLEND_*
  PLAT_D3DRS_DESTBLEND,               // PLAT_D3DBLEND_*
  PLAT_D3DRS_CULLMODE,                // PLAT_D3DCULL_*
  PLAT_D3DRS_SHADEMODE,               // PLAT_D3DSHADE_* (both draw flat)
  PLAT_D3DRS_TEXTUREFACTOR,           // ARGB
  PLAT_D3DRS_COLORKEYENABLE,
  PLAT_D3DRS_COLORKEYBLENDENABLE,     // recorded only
  PLAT_D3DRS_LIGHTING,                // recorded only
  PLAT_D3DRS_TEXTUREPERSPECTIVE,      // recorded only
  PLAT_D3DRS_FOGENABLE,               // recorded only
  PLAT_D3DRS_DITHERENABLE,            // recorded only
  PLAT_D3DRS_SPECULARENABLE,          // recorded only: specular never adds to the colour
  PLAT_D3DRS_DIFFUSEMATERIALSOURCE,   // PLAT_D3DMCS_*, recorded only
  PLAT_D3DRS_SPECULARMATERIALSOURCE,  // PLAT_D3DMCS_*, recorded only
  PLAT_D3DRS_COUNT
};

enum : uint32_t {  // ZENABLE
  PLAT_D3DZB_FALSE = 0,
  PLAT_D3DZB_TRUE = 1,
};
enum : uint32_t {  // ZFUNC, ALPHAFUNC
  PLAT_D3DCMP_NEVER = 1,
  PLAT_D3DCMP_LESS = 2,
  PLAT_D3DCMP_EQUAL = 3,
  PLAT_D3DCMP_LESSEQUAL = 4,
  PLAT_D3DCMP_GREATER = 5,
  PLAT_D3DCMP_NOTEQUAL = 6,
  PLAT_D3DCMP_GREATEREQUAL = 7,
  PLAT_D3DCMP_ALWAYS = 8,
};
enum : uint32_t {  // CULLMODE: the winding culled, as seen on the screen (y down)
  PLAT_D3DCULL_NONE = 1,
  PLAT_D3DCULL_CW = 2,
  PLAT_D3DCULL_CCW = 3,
};
enum : uint32_t {  // SHADEMODE
  PLAT_D3DSHADE_FLAT = 1,
  PLAT_D3DSHADE_GOURAUD = 2,
};
enum : uint32_t {  // SRCBLEND, DESTBLEND
  PLAT_D3DBLEND_ZERO = 1,
  PLAT_D3DBLEND_ONE = 2,
  PLAT_D3DBLEND_SRCCOLOR = 3,
  PLAT_D3DBLEND_SRCALPHA = 4,
  PLAT_D3DBLEND_INVSRCALPHA = 5,
  PLAT_D3DBLEND_INVDESTCOLOR = 6,
};
enum : uint32_t {  // DIFFUSEMATERIALSOURCE, SPECULARMATERIALSOURCE
  PLAT_D3DMCS_MATERIAL = 0,
  PLAT_D3DMCS_COLOR1 = 1,
  PLAT_D3DMCS_COLOR2 = 2,
};

enum PlatD3DTextureStageState : uint32_t {
  PLAT_D3DTSS_COLOROP,        // PLAT_D3DTOP_*
  PLAT_D3DTSS_COLORARG1,      // PLAT_D3DTA_*
  PLAT_D3DTSS_COLORARG2,
  PLAT_D3DTSS_ALPHAOP,
  PLAT_D3DTSS_ALPHAARG1,
  PLAT_D3DTSS_ALPHAARG2,
  PLAT_D3DTSS_TEXCOORDINDEX,  // coordinate set 0 or 1
  PLAT_D3DTSS_ADDRESS,        // PLAT_D3DTADDRESS_* (both directions)
  PLAT_D3DTSS_MAGFILTER,      // PLAT_D3DTFG_*
  PLAT_D3DTSS_MINFILTER,      // PLAT_D3DTFN_*
  PLAT_D3DTSS_MIPFILTER,      // PLAT_D3DTFP_* (recorded only: textures have no mip levels)
  PLAT_D3DTSS_COUNT
};
constexpr uint32_t PLAT_D3D_STAGES = 8;

enum : uint32_t {  // COLOROP, ALPHAOP
  PLAT_D3DTOP_DISABLE = 1,
  PLAT_D3DTOP_SELECTARG1 = 2,
  PLAT_D3DTOP_SELECTARG2 = 3,
  PLAT_D3DTOP_MODULATE = 4,
  PLAT_D3DTOP_MODULATE2X = 5,
  PLAT_D3DTOP_MODULATE4X = 6,
  PLAT_D3DTOP_ADD = 7,
  PLAT_D3DTOP_SUBTRACT = 8,
  PLAT_D3DTOP_BLENDDIFFUSEALPHA = 9,
  PLAT_D3DTOP_BLENDCURRENTALPHA = 10,
};
enum : uint32_t {  // the arguments: one of the first five, with COMPLEMENT or not
  PLAT_D3DTA_DIFFUSE = 0,
  PLAT_D3DTA_CURRENT = 1,
  PLAT_D3DTA_TEXTURE = 2,
  PLAT_D3DTA_TFACTOR = 3,
  PLAT_D3DTA_SPECULAR = 4,
  PLAT_D3DTA_SELECTMASK = 0xF,
  PLAT_D3DTA_COMPLEMENT = 0x10,
};
enum : uint32_t {  // ADDRESS: every mode samples clamped
  PLAT_D3DTADDRESS_WRAP = 1,
  PLAT_D3DTADDRESS_MIRROR = 2,
  PLAT_D3DTADDRESS_CLAMP = 3,
};
enum : uint32_t {  // MAGFILTER: POINT samples the nearest texel, every other value filters linearly
  PLAT_D3DTFG_POINT = 1,
  PLAT_D3DTFG_LINEAR = 2,
  PLAT_D3DTFG_FLATCUBIC = 3,
  PLAT_D3DTFG_GAUSSIANCUBIC = 4,
  PLAT_D3DTFG_ANISOTROPIC = 5,
};
enum : uint32_t {  // MINFILTER (recorded; the magnification filter decides)
  PLAT_D3DTFN_POINT = 1,
  PLAT_D3DTFN_LINEAR = 2,
  PLAT_D3DTFN_ANISOTROPIC = 3,
};
enum : uint32_t {  // MIPFILTER
  PLAT_D3DTFP_NONE = 1,
  PLAT_D3DTFP_POINT = 2,
  PLAT_D3DTFP_LINEAR = 3,
};

enum PlatD3DTransformState : uint32_t {
  PLAT_D3DTRANSFORMSTATE_WORLD = 1,
  PLAT_D3DTRANSFORMSTATE_VIEW = 2,
  PLAT_D3DTRANSFORMSTATE_PROJECTION = 3,
  PLAT_D3DTRANSFORMSTATE_WORLD1 = 4,
  PLAT_D3DTRANSFORMSTATE_WORLD2 = 5,
  PLAT_D3DTRANSFORMSTATE_WORLD3 = 6,
};

struct PlatD3DMatrix {
  float m[4][4];
};

// Pixels of the render target; z range kept, not used (z arrives as 0..1).
struct PlatD3DViewport {
  uint32_t x, y, width, height;
  float minZ, maxZ;
};

// ---- primitives ----------------------------------------------------------------------------

enum PlatD3DPrimitiveType : uint32_t {
  PLAT_D3DPT_TRIANGLELIST = 1,
  PLAT_D3DPT_TRIANGLESTRIP = 2,
};

// Vertex formats: bits of a flexible format. The device takes exactly these three, all
// pre-transformed (x, y in pixels, z in 0..1, rhw), colours ARGB.
enum : uint32_t {
  PLAT_D3DFVF_XYZRHW = 0x004,
  PLAT_D3DFVF_DIFFUSE = 0x040,
  PLAT_D3DFVF_SPECULAR = 0x080,
  PLAT_D3DFVF_TEX1 = 0x100,
  PLAT_D3DFVF_TEX2 = 0x200,
};
constexpr uint32_t PLAT_D3DFVF_COLORVERTEX = 0x44;      // x, y, z, rhw, diffuse: 20 bytes
constexpr uint32_t PLAT_D3DFVF_TEXTUREDVERTEX = 0x144;  // + u, v: 28 bytes
constexpr uint32_t PLAT_D3DFVF_BLENDVERTEX = 0x2C4;     // + specular, u0, v0, u1, v1: 40 bytes

struct PlatD3DColorVertex {
  float x, y, z, rhw;
  uint32_t diffuse;
};
struct PlatD3DTexturedVertex {
  float x, y, z, rhw;
  uint32_t diffuse;
  float u, v;
};
struct PlatD3DBlendVertex {
  float x, y, z, rhw;
  uint32_t diffuse, specular;
  float u0, v0, u1, v1;
};
static_assert(sizeof(PlatD3DColorVertex) == 20 && sizeof(PlatD3DTexturedVertex) == 28 &&
              sizeof(PlatD3DBlendVertex) == 40, "vertex layouts");

// Bytes of one vertex of the format (0: not one of the three).
uint32_t PlatD3DVertexSize(uint32_t fvf);

// ---- the object ----------------------------------------------------------------------------

// The Direct3D-style object of a DirectDraw-style object. PLAT_D3DERR_NODIRECT3D while
// KR_D3D=0 or after PlatD3DSetAvailable(0): a machine without a 3D device.
int32_t PlatDDrawQueryDirect3D(PlatDDraw ddraw, PlatD3D* d3d);
// Test switch: 0 makes every machine one without a 3D device (1 at start).
void PlatD3DSetAvailable(int available);

int32_t PlatD3DRelease(PlatD3D d3d);
// Calls back with each device until the callback answers PLAT_D3DENUMRET_CANCEL.
int32_t PlatD3DEnumDevices(PlatD3D d3d, PlatD3DEnumDevicesCallback callback, void* context);
// The Z-buffer formats for devices of the type, the same way.
int32_t PlatD3DEnumZBufferFormats(PlatD3D d3d, PlatD3DDeviceType type, PlatD3DEnumPixelFormatsCallback callback,
                                  void* context);
// A device of the type rendering into the surface (its render target). The viewport is
// the whole surface, every state at its default (below).
int32_t PlatD3DCreateDevice(PlatD3D d3d, PlatD3DDeviceType type, PlatDDSurface target, PlatD3DDevice* device);

// ---- the device ----------------------------------------------------------------------------
// Defaults: ZENABLE TRUE when the target has a Z surface attached (else FALSE),
// ZWRITEENABLE 1, ZFUNC LESSEQUAL, ALPHAFUNC ALWAYS, SRCBLEND ONE, DESTBLEND ZERO, CULLMODE
// CCW, SHADEMODE GOURAUD, TEXTUREFACTOR 0xFFFFFFFF, DIFFUSEMATERIALSOURCE COLOR1,
// SPECULARMATERIALSOURCE COLOR2, LIGHTING 1, TEXTUREPERSPECTIVE 1, DITHERENABLE 0, the
// rest 0. Stage 0 COLOROP MODULATE and ALPHAOP SELECTARG1, the others DISABLE; COLORARG1
// and ALPHAARG1 TEXTURE, COLORARG2 and ALPHAARG2 CURRENT; TEXCOORDINDEX the stage's
// number; ADDRESS WRAP; filters POINT, POINT, NONE; no textures.

int32_t PlatD3DDeviceRelease(PlatD3DDevice device);
// The device's caps record.
int32_t PlatD3DDeviceGetCaps(PlatD3DDevice device, PlatD3DDeviceDesc* desc);
int32_t PlatD3DDeviceEnumTextureFormats(PlatD3DDevice device, PlatD3DEnumPixelFormatsCallback callback,
                                        void* context);
int32_t PlatD3DDeviceSetRenderState(PlatD3DDevice device, PlatD3DRenderState state, uint32_t value);
int32_t PlatD3DDeviceGetRenderState(PlatD3DDevice device, PlatD3DRenderState state, uint32_t* value);
int32_t PlatD3DDeviceSetTextureStageState(PlatD3DDevice device, uint32_t stage, PlatD3DTextureStageState state,
                                          uint32_t value);
int32_t PlatD3DDeviceGetTextureStageState(PlatD3DDevice device, uint32_t stage, PlatD3DTextureStageState state,
                                          uint32_t* value);
// 0 takes the stage's texture off. A texture is a surface of 16 or 32 bits. The device
// holds no reference: a texture released while set makes draws that read it answer
// PLAT_DDERR_INVALIDOBJECT.
int32_t PlatD3DDeviceSetTexture(PlatD3DDevice device, uint32_t stage, PlatDDSurface texture);
int32_t PlatD3DDeviceGetTexture(PlatD3DDevice device, uint32_t stage, PlatDDSurface* texture);
// Kept and given back; vertices arrive transformed, so nothing uses them.
int32_t PlatD3DDeviceSetTransform(PlatD3DDevice device, PlatD3DTransformState state, const PlatD3DMatrix* matrix);
int32_t PlatD3DDeviceGetTransform(PlatD3DDevice device, PlatD3DTransformState state, PlatD3DMatrix* matrix);
// A viewport that leaves the render target, or is empty: PLAT_D3DERR_VIEWPORTINVALID.
int32_t PlatD3DDeviceSetViewport(PlatD3DDevice device, const PlatD3DViewport* viewport);
int32_t PlatD3DDeviceGetViewport(PlatD3DDevice device, PlatD3DViewport* viewport);
// Draws go to the surface from now on (the viewport becomes the whole surface). A format
// the device cannot write: PLAT_D3DERR_INVALIDRENDERTARGET. flags: 0.
int32_t PlatD3DDeviceSetRenderTarget(PlatD3DDevice device, PlatDDSurface target, uint32_t flags);
int32_t PlatD3DDeviceGetRenderTarget(PlatD3DDevice device, PlatDDSurface* target);
// A scene brackets draws. EndScene on the primary marks the frame store for upload.
int32_t PlatD3DDeviceBeginScene(PlatD3DDevice device);
int32_t PlatD3DDeviceEndScene(PlatD3DDevice device);
// count vertices of the format: a list draws count / 3 whole triangles, a strip count - 2.
int32_t PlatD3DDeviceDrawPrimitive(PlatD3DDevice device, PlatD3DPrimitiveType type, uint32_t fvf,
                                   const void* vertices, uint32_t count, uint32_t flags);
// A strip (or a list) through 16-bit indices into vertexCount vertices; an index at or
// past vertexCount refuses the whole draw (PLAT_D3DERR_INVALIDINDEX).
int32_t PlatD3DDeviceDrawIndexedPrimitive(PlatD3DDevice device, PlatD3DPrimitiveType type, uint32_t fvf,
                                          const void* vertices, uint32_t vertexCount, const uint16_t* indices,
                                          uint32_t indexCount, uint32_t flags);
// Copies srcRect of src (null: all of it) to point of dst (null: 0, 0). Both surfaces of
// one format, the rectangle inside both: else INVALIDPIXELFORMAT or INVALIDRECT. flags: 0.
int32_t PlatD3DDeviceLoad(PlatD3DDevice device, PlatDDSurface dst, const PlatPoint* point, PlatDDSurface src,
                          const PlatRect* srcRect, uint32_t flags);

// ---- back ends -------------------------------------------------------------------------------

// One function per call above (the query takes the DirectDraw-style object once the
// machine is known to have a device).
struct PlatD3DBackend {
  const char* name;
  int32_t (*create)(PlatDDraw ddraw, PlatD3D* d3d);
  int32_t (*release)(PlatD3D d3d);
  int32_t (*enumDevices)(PlatD3D d3d, PlatD3DEnumDevicesCallback callback, void* context);
  int32_t (*enumZBufferFormats)(PlatD3D d3d, PlatD3DDeviceType type, PlatD3DEnumPixelFormatsCallback callback,
                                void* context);
  int32_t (*createDevice)(PlatD3D d3d, PlatD3DDeviceType type, PlatDDSurface target, PlatD3DDevice* device);
  int32_t (*deviceRelease)(PlatD3DDevice device);
  int32_t (*getCaps)(PlatD3DDevice device, PlatD3DDeviceDesc* desc);
  int32_t (*enumTextureFormats)(PlatD3DDevice device, PlatD3DEnumPixelFormatsCallback callback, void* context);
  int32_t (*setRenderState)(PlatD3DDevice device, PlatD3DRenderState state, uint32_t value);
  int32_t (*getRenderState)(PlatD3DDevice device, PlatD3DRenderState state, uint32_t* value);
  int32_t (*setTextureStageState)(PlatD3DDevice device, uint32_t stage, PlatD3DTextureStageState state,
                                  uint32_t value);
  int32_t (*getTextureStageState)(PlatD3DDevice device, uint32_t stage, PlatD3DTextureStageState state,
                                  uint32_t* value);
  int32_t (*setTexture)(PlatD3DDevice device, uint32_t stage, PlatDDSurface texture);
  int32_t (*getTexture)(PlatD3DDevice device, uint32_t stage, PlatDDSurface* texture);
  int32_t (*setTransform)(PlatD3DDevice device, PlatD3DTransformState state, const PlatD3DMatrix* matrix);
  int32_t (*getTransform)(PlatD3DDevice device, PlatD3DTransformState state, PlatD3DMatrix* matrix);
  int32_t (*setViewport)(PlatD3DDevice device, const PlatD3DViewport* viewport);
  int32_t (*getViewport)(PlatD3DDevice device, PlatD3DViewport* viewport);
  int32_t (*setRenderTarget)(PlatD3DDevice device, PlatDDSurface target, uint32_t flags);
  int32_t (*getRenderTarget)(PlatD3DDevice device, PlatDDSurface* target);
  int32_t (*beginScene)(PlatD3DDevice device);
  int32_t (*endScene)(PlatD3DDevice device);
  int32_t (*drawPrimitive)(PlatD3DDevice device, PlatD3DPrimitiveType type, uint32_t fvf, const void* vertices,
                           uint32_t count, uint32_t flags);
  int32_t (*drawIndexedPrimitive)(PlatD3DDevice device, PlatD3DPrimitiveType type, uint32_t fvf,
                                  const void* vertices, uint32_t vertexCount, const uint16_t* indices,
                                  uint32_t indexCount, uint32_t flags);
  int32_t (*load)(PlatD3DDevice device, PlatDDSurface dst, const PlatPoint* point, PlatDDSurface src,
                  const PlatRect* srcRect, uint32_t flags);
};

const PlatD3DBackend* PlatD3DSoftBackend();
const PlatD3DBackend* PlatD3DFakeBackend();

// "soft" (the default on every platform) or "fake"; 0, or -1 for an unknown name. Ids of
// one back end mean nothing to the other: choose before making objects.
int PlatD3DSelectBackend(const char* name);
const char* PlatD3DBackendName();
