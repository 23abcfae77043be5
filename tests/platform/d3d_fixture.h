// A Direct3D-style object on the headless DirectDraw-style fixture, with helpers that make
// render targets, textures and Z surfaces and draw rectangles as two triangles.
#pragma once

#include "ddraw_fixture.h"

#include "platform/d3d/d3d.h"
#include "platform/d3d/fake/d3dfake.h"

#include <vector>

inline PlatDDPixelFormat Format565() { return RgbFormat(16, 0xF800, 0x07E0, 0x001F); }
inline PlatDDPixelFormat Format555() { return RgbFormat(16, 0x7C00, 0x03E0, 0x001F); }
inline PlatDDPixelFormat Format888() { return RgbFormat(32, 0xFF0000, 0xFF00, 0xFF); }
inline PlatDDPixelFormat WithAlpha(PlatDDPixelFormat f, uint32_t aMask) {
  f.flags |= PLAT_DDPF_ALPHAPIXELS;
  f.aMask = aMask;
  return f;
}
inline PlatDDPixelFormat Format1555() { return WithAlpha(Format555(), 0x8000); }
inline PlatDDPixelFormat Format4444() { return WithAlpha(RgbFormat(16, 0x0F00, 0x00F0, 0x000F), 0xF000); }
inline PlatDDPixelFormat Format8888() { return WithAlpha(Format888(), 0xFF000000u); }

class D3DTest : public DDrawTest {
 protected:
  PlatD3D d3d = 0;

  void SetUp() override {
    DDrawTest::SetUp();
    PlatD3DFakeReset();
    ASSERT_EQ(PlatD3DSelectBackend(Backend()), 0);
    ASSERT_EQ(PlatDDrawQueryDirect3D(dd, &d3d), PLAT_D3D_OK);
  }
  void TearDown() override {
    PlatD3DFakeReset();
    PlatD3DSelectBackend("soft");
    DDrawTest::TearDown();
  }
  virtual const char* Backend() { return "soft"; }

  // A render target in system memory (3D-device caps), optionally with a Z surface.
  PlatDDSurface Target(const PlatDDPixelFormat& f, uint32_t w, uint32_t h, PlatDDSurface* z = nullptr) {
    PlatDDSurface s = Make(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_3DDEVICE | PLAT_DDSCAPS_SYSTEMMEMORY, w, h, &f);
    if (z) {
      const PlatDDPixelFormat zf = ZFormat16();
      *z = Make(PLAT_DDSCAPS_ZBUFFER | PLAT_DDSCAPS_SYSTEMMEMORY, w, h, &zf);
      EXPECT_EQ(PlatDDSurfaceAddAttachedSurface(s, *z), PLAT_DD_OK);
    }
    return s;
  }
  PlatDDSurface Texture(const PlatDDPixelFormat& f, uint32_t w, uint32_t h) {
    return Make(PLAT_DDSCAPS_TEXTURE | PLAT_DDSCAPS_SYSTEMMEMORY, w, h, &f);
  }
  PlatD3DDevice Device(PlatDDSurface target) {
    PlatD3DDevice d = 0;
    EXPECT_EQ(PlatD3DCreateDevice(d3d, PLAT_D3DDEVTYPE_HAL, target, &d), PLAT_D3D_OK);
    return d;
  }
  // Untextured, no culling, no Z, diffuse straight through.
  static void PlainStates(PlatD3DDevice d) {
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_CULLMODE, PLAT_D3DCULL_NONE);
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ZENABLE, PLAT_D3DZB_FALSE);
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_COLOROP, PLAT_D3DTOP_SELECTARG1);
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_COLORARG1, PLAT_D3DTA_DIFFUSE);
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_ALPHAOP, PLAT_D3DTOP_SELECTARG1);
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_ALPHAARG1, PLAT_D3DTA_DIFFUSE);
  }
  // The stage-0 recipe of a plain textured draw: the texel as it is.
  static void TextureStates(PlatD3DDevice d, PlatDDSurface texture) {
    PlainStates(d);
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_COLORARG1, PLAT_D3DTA_TEXTURE);
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_ALPHAARG1, PLAT_D3DTA_TEXTURE);
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_ADDRESS, PLAT_D3DTADDRESS_CLAMP);
    PlatD3DDeviceSetTexture(d, 0, texture);
  }

  // Two triangles (a list) for the rectangle (x0, y0)-(x1, y1) with texture corners
  // (u0, v0)-(u1, v1).
  static std::vector<PlatD3DTexturedVertex> Quad(float x0, float y0, float x1, float y1, uint32_t diffuse = 0xFFFFFFFF,
                                                 float u0 = 0, float v0 = 0, float u1 = 1, float v1 = 1,
                                                 float z = 0) {
    const PlatD3DTexturedVertex tl{x0, y0, z, 1, diffuse, u0, v0}, tr{x1, y0, z, 1, diffuse, u1, v0},
        bl{x0, y1, z, 1, diffuse, u0, v1}, br{x1, y1, z, 1, diffuse, u1, v1};
    return {tl, tr, bl, tr, br, bl};
  }
  static int32_t DrawList(PlatD3DDevice d, const std::vector<PlatD3DTexturedVertex>& v) {
    return PlatD3DDeviceDrawPrimitive(d, PLAT_D3DPT_TRIANGLELIST, PLAT_D3DFVF_TEXTUREDVERTEX, v.data(),
                                      uint32_t(v.size()), 0);
  }
};
