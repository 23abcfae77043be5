// Turns bytes into states and primitives of the soft Direct3D-style device, with raw floats,
// on a 64 x 64 target with a Z surface and a colour-keyed texture: nothing may crash, read
// or write outside a surface (ASan), or overflow (UBSan), whatever the states, vertices,
// indices, viewports and Load rectangles.
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kSize = 64;

struct World {
  PlatDDraw dd = 0;
  PlatD3D d3d = 0;
  PlatDDSurface targets[2]{}, z = 0, textures[3]{};
  PlatD3DDevice device = 0;
};

PlatDDPixelFormat Format(int which) {
  static const uint32_t masks[6][5] = {
      {16, 0xF800, 0x07E0, 0x001F, 0},      {16, 0x7C00, 0x03E0, 0x001F, 0},
      {16, 0x7C00, 0x03E0, 0x001F, 0x8000}, {16, 0x0F00, 0x00F0, 0x000F, 0xF000},
      {32, 0xFF0000, 0xFF00, 0xFF, 0},      {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u},
  };
  const uint32_t* m = masks[which % 6];
  PlatDDPixelFormat f{};
  f.size = sizeof f;
  f.flags = PLAT_DDPF_RGB | (m[4] ? uint32_t(PLAT_DDPF_ALPHAPIXELS) : 0u);
  f.bitCount = m[0];
  f.rMask = m[1];
  f.gMask = m[2];
  f.bMask = m[3];
  f.aMask = m[4];
  return f;
}

PlatDDSurface Make(PlatDDraw dd, uint32_t caps, uint32_t w, uint32_t h, const PlatDDPixelFormat& f) {
  PlatDDSurfaceDesc d{};
  d.size = sizeof d;
  d.flags = PLAT_DDSD_CAPS | PLAT_DDSD_WIDTH | PLAT_DDSD_HEIGHT | PLAT_DDSD_PIXELFORMAT;
  d.caps = caps | PLAT_DDSCAPS_SYSTEMMEMORY;
  d.width = w;
  d.height = h;
  d.pixelFormat = f;
  PlatDDSurface s = 0;
  if (PlatDDrawCreateSurface(dd, &d, &s) != PLAT_DD_OK) abort();
  return s;
}

World& W() {
  static World* w = [] {
    World* made = new World;
    if (PlatDDrawCreate(&made->dd) != PLAT_DD_OK || PlatDDrawQueryDirect3D(made->dd, &made->d3d) != PLAT_D3D_OK)
      abort();
    made->targets[0] = Make(made->dd, PLAT_DDSCAPS_3DDEVICE, kSize, kSize, Format(0));
    made->targets[1] = Make(made->dd, PLAT_DDSCAPS_3DDEVICE, kSize, kSize, Format(5));
    PlatDDPixelFormat zf{};
    zf.size = sizeof zf;
    zf.flags = PLAT_DDPF_ZBUFFER;
    zf.bitCount = 16;
    zf.rMask = 0xFFFF;
    made->z = Make(made->dd, PLAT_DDSCAPS_ZBUFFER, kSize, kSize, zf);
    if (PlatDDSurfaceAddAttachedSurface(made->targets[0], made->z) != PLAT_DD_OK) abort();
    const uint32_t sizes[3][2] = {{8, 8}, {1, 1}, {13, 5}};
    for (int i = 0; i < 3; i++) {
      made->textures[i] = Make(made->dd, PLAT_DDSCAPS_TEXTURE, sizes[i][0], sizes[i][1], Format(i * 2 + 1));
      const PlatDDColorKey key{0x1F, 0x1F};
      PlatDDSurfaceSetColorKey(made->textures[i], PLAT_DDCKEY_SRCBLT, &key);
    }
    if (PlatD3DCreateDevice(made->d3d, PLAT_D3DDEVTYPE_HAL, made->targets[0], &made->device) != PLAT_D3D_OK) abort();
    return made;
  }();
  return *w;
}

struct Reader {
  const uint8_t* p;
  size_t n;
  bool Empty() const { return n == 0; }
  uint8_t Byte() {
    if (!n) return 0;
    n--;
    return *p++;
  }
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= uint32_t(Byte()) << (8 * i);
    return v;
  }
  // Up to count bytes into out (the rest zero).
  void Bytes(void* out, size_t count) {
    std::memset(out, 0, count);
    const size_t k = count < n ? count : n;
    std::memcpy(out, p, k);
    p += k;
    n -= k;
  }
};

const uint32_t kFvfs[] = {PLAT_D3DFVF_COLORVERTEX, PLAT_D3DFVF_TEXTUREDVERTEX, PLAT_D3DFVF_BLENDVERTEX, 0x42};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("KR_PLATFORM", "headless", 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  World& w = W();
  const PlatD3DDevice d = w.device;
  Reader r{data, size};
  // Vertex and index room, made once per input (the device itself allocates nothing).
  std::vector<uint8_t> vertices;
  std::vector<uint16_t> indices;
  for (int op = 0; op < 64 && !r.Empty(); op++) {
    switch (r.Byte() % 9) {
      case 0: {
        const uint32_t state = r.Byte() % (PLAT_D3DRS_COUNT + 1);
        PlatD3DDeviceSetRenderState(d, PlatD3DRenderState(state), r.U32() % 16 == 0 ? r.U32() : r.Byte() % 12);
        break;
      }
      case 1: {
        const uint32_t stage = r.Byte() % 9, state = r.Byte() % (PLAT_D3DTSS_COUNT + 1);
        const uint8_t how = r.Byte();
        PlatD3DDeviceSetTextureStageState(d, stage, PlatD3DTextureStageState(state), how & 0x80 ? r.U32() : how % 20);
        break;
      }
      case 2: {
        const uint8_t which = r.Byte();
        PlatD3DDeviceSetTexture(d, which % 8, which & 0x80 ? 0 : w.textures[(which >> 3) % 3]);
        break;
      }
      case 3: {
        PlatD3DViewport v;
        v.x = r.Byte() % 80;
        v.y = r.Byte() % 80;
        v.width = r.Byte() % 80;
        v.height = r.Byte() % 80;
        v.minZ = 0;
        v.maxZ = 1;
        const uint8_t how = r.Byte();
        if (how & 1) {
          v.x = r.U32();
          v.width = r.U32();
        }
        if (how & 2) {
          v.y = r.U32();
          v.height = r.U32();
        }
        // A locked target cannot be measured: the viewport is taken as given and must be
        // cut at the next draw.
        PlatDDSurface target = 0;
        PlatDDSurfaceDesc desc{};
        desc.size = sizeof desc;
        const bool lock = (how & 4) && PlatD3DDeviceGetRenderTarget(d, &target) == PLAT_D3D_OK &&
                          PlatDDSurfaceLock(target, nullptr, &desc, 0) == PLAT_DD_OK;
        PlatD3DDeviceSetViewport(d, &v);
        if (lock) PlatDDSurfaceUnlock(target, nullptr);
        break;
      }
      case 4:
        PlatD3DDeviceSetRenderTarget(d, w.targets[r.Byte() & 1], 0);
        break;
      case 5:
      case 6: {
        const uint32_t fvf = kFvfs[r.Byte() % 4];
        const uint32_t stride = fvf == 0x42 ? 20 : PlatD3DVertexSize(fvf);
        const uint32_t count = r.Byte() % 40;
        vertices.assign(size_t(stride) * (count + 1), 0);
        r.Bytes(vertices.data(), size_t(stride) * count);
        const auto type = PlatD3DPrimitiveType(r.Byte() % 3);
        if (op % 2 == 0 || r.Byte() & 1) {
          PlatD3DDeviceDrawPrimitive(d, type, fvf, vertices.data(), count, 0);
        } else {
          const uint32_t n = r.Byte() % 40;
          indices.assign(n + 1, 0);
          r.Bytes(indices.data(), n * 2);
          for (uint32_t i = 0; i < n; i++)
            if (!(r.Byte() & 7)) indices[i] = uint16_t(indices[i] % (count + 1));
          PlatD3DDeviceDrawIndexedPrimitive(d, type, fvf, vertices.data(), count, indices.data(), n, 0);
        }
        break;
      }
      case 7: {
        PlatRect rect;
        PlatPoint at;
        rect.left = int32_t(r.U32());
        rect.top = int32_t(r.U32());
        rect.right = int32_t(r.U32());
        rect.bottom = int32_t(r.U32());
        at.x = int32_t(r.U32());
        at.y = int32_t(r.U32());
        PlatD3DDeviceLoad(d, w.textures[r.Byte() % 3], &at, w.textures[r.Byte() % 3], &rect, 0);
        break;
      }
      default: {
        PlatDDBltFx fx{sizeof fx, r.U32(), r.U32() & 0xFFFF};
        PlatDDSurfaceBlt(w.z, nullptr, 0, nullptr, PLAT_DDBLT_DEPTHFILL, &fx);
        break;
      }
    }
  }
  return 0;
}
