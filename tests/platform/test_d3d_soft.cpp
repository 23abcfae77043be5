// The soft Direct3D-style device: exact tables from its rules (coverage at integer centres
// with the top-left rule, flat colour, culling, Z, texture addressing and filtering,
// channel widths, the stage combiner, the alpha test and blending), and its refusals.
#include "d3d_fixture.h"

#include "platform/d3d/soft/softraster.h"
#include "platform/display/display.h"

#include <cmath>
#include <limits>

namespace {

// The rules, written out again for the expected values.
uint32_t Widen(uint32_t c, int n) { return (c << (8 - n)) + c * ((1u << (8 - n)) - 1) / ((1u << n) - 1); }

uint32_t At(const std::vector<uint32_t>& pixels, uint32_t width, uint32_t x, uint32_t y) {
  return pixels[size_t(y) * width + x];
}

}  // namespace

TEST_F(D3DTest, TheSoftDeviceReportsItsCapsAndFormats) {
  struct Seen {
    int devices = 0;
    PlatD3DDeviceDesc desc{};
  } seen;
  ASSERT_EQ(PlatD3DEnumDevices(
                d3d,
                [](const char*, const char*, const PlatD3DDeviceDesc* desc, void* c) {
                  static_cast<Seen*>(c)->devices++;
                  static_cast<Seen*>(c)->desc = *desc;
                  return int(PLAT_D3DENUMRET_OK);
                },
                &seen),
            PLAT_D3D_OK);
  EXPECT_EQ(seen.devices, 1);
  EXPECT_EQ(seen.desc.deviceType, PLAT_D3DDEVTYPE_HAL);
  EXPECT_EQ(seen.desc.deviceRenderBitDepth, uint32_t(PLAT_DDBD_16 | PLAT_DDBD_32));
  EXPECT_EQ(seen.desc.triCaps.textureCaps & (PLAT_D3DPTEXTURECAPS_POW2 | PLAT_D3DPTEXTURECAPS_SQUAREONLY), 0u);
  EXPECT_EQ(seen.desc.minTextureWidth, 1u);
  EXPECT_EQ(seen.desc.maxTextureHeight, 2048u);
  EXPECT_EQ(seen.desc.maxTextureBlendStages, 8);
  EXPECT_EQ(seen.desc.maxSimultaneousTextures, 8);

  std::vector<PlatDDPixelFormat> z;
  auto collect = [](const PlatDDPixelFormat* f, void* c) {
    static_cast<std::vector<PlatDDPixelFormat>*>(c)->push_back(*f);
    return int(PLAT_D3DENUMRET_OK);
  };
  ASSERT_EQ(PlatD3DEnumZBufferFormats(d3d, PLAT_D3DDEVTYPE_HAL, collect, &z), PLAT_D3D_OK);
  ASSERT_EQ(z.size(), 1u);
  EXPECT_EQ(z[0].flags, uint32_t(PLAT_DDPF_ZBUFFER));
  EXPECT_EQ(z[0].bitCount, 16u);

  std::vector<PlatDDPixelFormat> t;
  PlatD3DDevice d = Device(Target(Format565(), 4, 4));
  ASSERT_EQ(PlatD3DDeviceEnumTextureFormats(d, collect, &t), PLAT_D3D_OK);
  const PlatDDPixelFormat order[] = {Format565(), Format555(), Format4444(), Format1555(), Format888(), Format8888()};
  ASSERT_EQ(t.size(), 6u);
  for (size_t i = 0; i < 6; i++) {
    EXPECT_EQ(t[i].bitCount, order[i].bitCount) << i;
    EXPECT_EQ(t[i].rMask, order[i].rMask) << i;
    EXPECT_EQ(t[i].aMask, order[i].aMask) << i;
  }
}

TEST_F(D3DTest, KR_D3D0OrTheSwitchMakesAMachineWithoutA3DDevice) {
  PlatD3D other = 0;
  PlatD3DSetAvailable(0);
  EXPECT_EQ(PlatDDrawQueryDirect3D(dd, &other), PLAT_D3DERR_NODIRECT3D);
  PlatD3DSetAvailable(1);
  setenv("KR_D3D", "0", 1);
  EXPECT_EQ(PlatDDrawQueryDirect3D(dd, &other), PLAT_D3DERR_NODIRECT3D);
  unsetenv("KR_D3D");
  EXPECT_EQ(PlatDDrawQueryDirect3D(dd, &other), PLAT_D3D_OK);
  EXPECT_EQ(PlatDDrawQueryDirect3D(dd + 12345, &other), PLAT_DDERR_INVALIDOBJECT);
}

TEST_F(D3DTest, TheHalfPixelQuadMapsTexelsOneToOneAndClippingKeepsTheTexel) {
  // Texel (i, j) of a 128 x 64 texture holds i + 128 j (all distinct).
  PlatDDSurface texture = Texture(Format565(), 128, 64);
  std::vector<uint32_t> texels(128 * 64);
  for (uint32_t i = 0; i < texels.size(); i++) texels[i] = i;
  SetPixels(texture, texels);
  PlatDDSurface target = Target(Format565(), 128, 80);
  PlatD3DDevice d = Device(target);
  TextureStates(d, texture);
  PlatDDBltFx fx{sizeof fx, 0xFFFF, 0};
  ASSERT_EQ(PlatDDSurfaceBlt(target, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_DD_OK);

  const float tw = 128, th = 64;
  ASSERT_EQ(DrawList(d, Quad(9.5f, 19.5f, 109.5f, 69.5f, 0xFFFFFFFF, 0, 0, 100 / tw, 50 / th)), PLAT_D3D_OK);
  const std::vector<uint32_t> p = Pixels(target);
  for (uint32_t y = 0; y < 80; y++)
    for (uint32_t x = 0; x < 128; x++) {
      const bool inside = x >= 10 && x <= 109 && y >= 20 && y <= 69;
      ASSERT_EQ(At(p, 128, x, y), inside ? (x - 10) + 128 * (y - 20) : 0xFFFFu) << x << "," << y;
    }

  // Moved 40 pixels left: column 0 shows texel 30. Clipped at x = 0, with u moved by
  // 30.5 texels, it shows the same.
  ASSERT_EQ(PlatDDSurfaceBlt(target, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_DD_OK);
  ASSERT_EQ(DrawList(d, Quad(-30.5f, 19.5f, 69.5f, 69.5f, 0xFFFFFFFF, 0, 0, 100 / tw, 50 / th)), PLAT_D3D_OK);
  const std::vector<uint32_t> whole = Pixels(target);
  ASSERT_EQ(PlatDDSurfaceBlt(target, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_DD_OK);
  ASSERT_EQ(DrawList(d, Quad(0, 19.5f, 69.5f, 69.5f, 0xFFFFFFFF, 30.5f / tw, 0, 100 / tw, 50 / th)), PLAT_D3D_OK);
  const std::vector<uint32_t> clipped = Pixels(target);
  for (uint32_t y = 20; y < 70; y++) {
    EXPECT_EQ(At(whole, 128, 0, y), 30 + 128 * (y - 20));
    EXPECT_EQ(At(clipped, 128, 0, y), At(whole, 128, 0, y));
  }
}

TEST_F(D3DTest, IntegerCornersCoverTheirPixelsByTheTopLeftRule) {
  PlatDDSurface target = Target(Format565(), 128, 64);
  PlatD3DDevice d = Device(target);
  PlainStates(d);
  ASSERT_EQ(DrawList(d, Quad(0, 0, 100, 50, 0xFFFFFFFF)), PLAT_D3D_OK);
  const std::vector<uint32_t> p = Pixels(target);
  for (uint32_t y = 0; y < 64; y++)
    for (uint32_t x = 0; x < 128; x++)
      ASSERT_EQ(At(p, 128, x, y), x < 100 && y < 50 ? 0xFFFFu : 0u) << x << "," << y;
}

TEST_F(D3DTest, SharedEdgesAreCoveredExactlyOnce) {
  // Additive ONE/ONE of 1: a pixel covered twice would read 2.
  PlatDDSurface target = Target(Format888(), 64, 64);
  PlatD3DDevice d = Device(target);
  PlainStates(d);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHABLENDENABLE, 1);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_SRCBLEND, PLAT_D3DBLEND_ONE);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_DESTBLEND, PLAT_D3DBLEND_ONE);
  const uint32_t one = 0x00010101;

  // A mesh over the whole target (and beyond) of jittered points, each cell split along
  // alternating diagonals, some cells' triangles given in reverse winding: every pixel once.
  const int n = 9;
  float px[n + 1][n + 1], py[n + 1][n + 1];
  uint32_t seed = 12345;
  auto jitter = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return float((seed >> 16) % 1000) / 1000.0f * 3.0f - 1.5f;
  };
  for (int j = 0; j <= n; j++)
    for (int i = 0; i <= n; i++) {
      const bool edge = i == 0 || j == 0 || i == n || j == n;
      px[j][i] = -4.0f + i * 9.0f + (edge ? 0 : jitter());
      py[j][i] = -4.0f + j * 9.0f + (edge ? 0 : jitter());
    }
  std::vector<PlatD3DTexturedVertex> mesh;
  auto v = [&](int i, int j) { return PlatD3DTexturedVertex{px[j][i], py[j][i], 0, 1, one, 0, 0}; };
  for (int j = 0; j < n; j++)
    for (int i = 0; i < n; i++) {
      const bool flip = (i + j) % 2 != 0;
      const PlatD3DTexturedVertex a = v(i, j), b = v(i + 1, j), c = v(i, j + 1), e = v(i + 1, j + 1);
      if (flip) mesh.insert(mesh.end(), {a, b, e, a, c, e});
      else mesh.insert(mesh.end(), {a, b, c, b, e, c});
    }
  ASSERT_EQ(DrawList(d, mesh), PLAT_D3D_OK);
  for (uint32_t value : Pixels(target)) ASSERT_EQ(value, one);

  // Four quads meeting at a point of the pixel grid and at one off it.
  for (float cx : {32.0f, 20.5f}) {
    PlatDDBltFx fx{sizeof fx, 0, 0};
    ASSERT_EQ(PlatDDSurfaceBlt(target, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_D3D_OK);
    std::vector<PlatD3DTexturedVertex> quads;
    for (auto [x0, x1] : {std::pair{0.0f, cx}, std::pair{cx, 64.0f}})
      for (auto [y0, y1] : {std::pair{0.0f, cx}, std::pair{cx, 64.0f}}) {
        const std::vector<PlatD3DTexturedVertex> q = Quad(x0, y0, x1, y1, one);
        quads.insert(quads.end(), q.begin(), q.end());
      }
    ASSERT_EQ(DrawList(d, quads), PLAT_D3D_OK);
    for (uint32_t value : Pixels(target)) ASSERT_EQ(value, one) << cx;
  }
}

TEST_F(D3DTest, FlatColourComesFromEachTrianglesFirstVertexAndCullingAlternatesAlongStrips) {
  PlatDDSurface target = Target(Format888(), 8, 8);
  PlatD3DDevice d = Device(target);
  PlainStates(d);
  // The square (0, 0)-(8, 8): the upper-left triangle holds pixel (1, 1), the lower-right
  // (6, 6). Clockwise on the screen: top-left, top-right, bottom-left.
  const PlatD3DColorVertex tl{0, 0, 0, 1, 0x111111}, tr{8, 0, 0, 1, 0x222222}, bl{0, 8, 0, 1, 0x333333},
      br{8, 8, 0, 1, 0x444444};
  struct Case {
    const char* name;
    PlatD3DPrimitiveType type;
    std::vector<PlatD3DColorVertex> v;
    uint32_t cull, upper, lower;  // 0: not drawn
  };
  const Case cases[] = {
      {"list", PLAT_D3DPT_TRIANGLELIST, {tl, tr, bl, br, bl, tr}, PLAT_D3DCULL_NONE, 0x111111, 0x444444},
      {"strip", PLAT_D3DPT_TRIANGLESTRIP, {tl, tr, bl, br}, PLAT_D3DCULL_NONE, 0x111111, 0x222222},
      // The strip's second triangle (tr, bl, br) winds counter-clockwise as given and
      // counts as clockwise because it is the second.
      {"strip ccw culled", PLAT_D3DPT_TRIANGLESTRIP, {tl, tr, bl, br}, PLAT_D3DCULL_CCW, 0x111111, 0x222222},
      {"strip cw culled", PLAT_D3DPT_TRIANGLESTRIP, {tl, tr, bl, br}, PLAT_D3DCULL_CW, 0, 0},
      {"list ccw culled", PLAT_D3DPT_TRIANGLELIST, {tl, tr, bl, tr, bl, br}, PLAT_D3DCULL_CCW, 0x111111, 0},
      {"list cw culled", PLAT_D3DPT_TRIANGLELIST, {tl, tr, bl, tr, bl, br}, PLAT_D3DCULL_CW, 0, 0x222222},
      // A list of 5 vertices draws its one whole triangle.
      {"partial list", PLAT_D3DPT_TRIANGLELIST, {tl, tr, bl, br, bl}, PLAT_D3DCULL_NONE, 0x111111, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlatDDBltFx fx{sizeof fx, 0, 0};
    ASSERT_EQ(PlatDDSurfaceBlt(target, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_D3D_OK);
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_CULLMODE, c.cull);
    ASSERT_EQ(PlatD3DDeviceDrawPrimitive(d, c.type, PLAT_D3DFVF_COLORVERTEX, c.v.data(), uint32_t(c.v.size()), 0),
              PLAT_D3D_OK);
    const std::vector<uint32_t> p = Pixels(target);
    EXPECT_EQ(At(p, 8, 1, 1), c.upper);
    EXPECT_EQ(At(p, 8, 6, 6), c.lower);
  }
}

TEST_F(D3DTest, TheViewportScissorsAndMustLieInTheTarget) {
  PlatDDSurface target = Target(Format565(), 16, 16);
  PlatD3DDevice d = Device(target);
  PlainStates(d);
  const PlatD3DViewport v{2, 3, 5, 4, 0, 1};
  ASSERT_EQ(PlatD3DDeviceSetViewport(d, &v), PLAT_D3D_OK);
  ASSERT_EQ(DrawList(d, Quad(-10, -10, 30, 30, 0xFFFFFFFF)), PLAT_D3D_OK);
  const std::vector<uint32_t> p = Pixels(target);
  for (uint32_t y = 0; y < 16; y++)
    for (uint32_t x = 0; x < 16; x++)
      ASSERT_EQ(At(p, 16, x, y), x >= 2 && x < 7 && y >= 3 && y < 7 ? 0xFFFFu : 0u) << x << "," << y;

  for (const PlatD3DViewport& bad : {PlatD3DViewport{12, 0, 5, 4, 0, 1}, PlatD3DViewport{0, 0, 16, 17, 0, 1},
                                     PlatD3DViewport{0, 0, 0, 4, 0, 1}, PlatD3DViewport{0xFFFFFFFFu, 0, 2, 2, 0, 1}})
    EXPECT_EQ(PlatD3DDeviceSetViewport(d, &bad), PLAT_D3DERR_VIEWPORTINVALID);
  PlatD3DViewport kept{};
  ASSERT_EQ(PlatD3DDeviceGetViewport(d, &kept), PLAT_D3D_OK);
  EXPECT_EQ(kept.x, 2u);
  EXPECT_EQ(kept.width, 5u);

  // A locked target cannot be measured, so its viewport is taken as given and cut to the
  // target at each draw, in 64 bits: corners past 2^31 must not come back negative.
  for (const PlatD3DViewport& wild : {PlatD3DViewport{0x80000000u, 0x80000000u, 4, 4, 0, 1},
                                      PlatD3DViewport{0xFFFFFFF0u, 0, 0x20u, 16, 0, 1},
                                      PlatD3DViewport{14, 15, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 1}}) {
    PlatDDSurface locked = Target(Format565(), 16, 16);
    PlatD3DDevice ld = Device(locked);
    PlainStates(ld);
    PlatDDSurfaceDesc desc{};
    desc.size = sizeof desc;
    ASSERT_EQ(PlatDDSurfaceLock(locked, nullptr, &desc, PLAT_DDLOCK_WAIT), PLAT_DD_OK);
    ASSERT_EQ(PlatD3DDeviceSetViewport(ld, &wild), PLAT_D3D_OK);
    ASSERT_EQ(PlatDDSurfaceUnlock(locked, nullptr), PLAT_DD_OK);
    ASSERT_EQ(DrawList(ld, Quad(-10, -10, 30, 30, 0xFFFFFFFF)), PLAT_D3D_OK);
    const std::vector<uint32_t> q = Pixels(locked);
    for (uint32_t y = 0; y < 16; y++)
      for (uint32_t x = 0; x < 16; x++)
        ASSERT_EQ(At(q, 16, x, y), x >= wild.x && y >= wild.y ? 0xFFFFu : 0u) << wild.x << ": " << x << "," << y;
  }

  // A new render target brings a whole-target viewport; one the device cannot write is refused.
  PlatDDSurface other = Target(Format8888(), 8, 8);
  ASSERT_EQ(PlatD3DDeviceSetRenderTarget(d, other, 0), PLAT_D3D_OK);
  ASSERT_EQ(PlatD3DDeviceGetViewport(d, &kept), PLAT_D3D_OK);
  EXPECT_EQ(kept.width, 8u);
  const PlatDDPixelFormat eight = RgbFormat(8, 0, 0, 0);
  PlatDDSurface paletted = Target(eight, 8, 8);
  EXPECT_EQ(PlatD3DDeviceSetRenderTarget(d, paletted, 0), PLAT_D3DERR_INVALIDRENDERTARGET);
  PlatDDSurface now = 0;
  ASSERT_EQ(PlatD3DDeviceGetRenderTarget(d, &now), PLAT_D3D_OK);
  EXPECT_EQ(now, other);
}

TEST_F(D3DTest, TheZTestAndZWriteOnTheAttachedSurface) {
  PlatDDSurface z = 0;
  PlatDDSurface target = Target(Format565(), 4, 4, &z);
  PlatD3DDevice d = Device(target);
  PlainStates(d);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ZENABLE, PLAT_D3DZB_TRUE);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ZFUNC, PLAT_D3DCMP_LESSEQUAL);
  PlatDDBltFx fx{sizeof fx, 0, 0xFFFF};
  ASSERT_EQ(PlatDDSurfaceBlt(z, nullptr, 0, nullptr, PLAT_DDBLT_DEPTHFILL, &fx), PLAT_DD_OK);

  struct Step {
    float z;
    uint32_t zwrite, color, pixel, depth;
  };
  const uint32_t z02 = 13107;  // round(0.2 x 65535)
  const Step steps[] = {
      {0.2f, 1, 0xFFFF0000, 0xF800, z02},  // in front of the fill: drawn, depth written
      {0.5f, 1, 0xFF00FF00, 0xF800, z02},  // behind it: not drawn
      {0.2f, 1, 0xFF0000FF, 0x001F, z02},  // equal: drawn
      {0.1f, 0, 0xFFFFFFFF, 0xFFFF, z02},  // drawn without writing its depth
      {-3.0f, 1, 0xFF000000, 0x0000, 0},   // clamped to 0
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.z);
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ZWRITEENABLE, s.zwrite);
    ASSERT_EQ(DrawList(d, Quad(0, 0, 4, 4, s.color, 0, 0, 1, 1, s.z)), PLAT_D3D_OK);
    EXPECT_EQ(Pixels(target), std::vector<uint32_t>(16, s.pixel));
    EXPECT_EQ(Pixels(z), std::vector<uint32_t>(16, s.depth));
  }
  // Z off: drawn whatever the depth, none written.
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ZENABLE, PLAT_D3DZB_FALSE);
  ASSERT_EQ(DrawList(d, Quad(0, 0, 4, 4, 0xFFFF0000, 0, 0, 1, 1, 0.9f)), PLAT_D3D_OK);
  EXPECT_EQ(Pixels(target), std::vector<uint32_t>(16, 0xF800));
  EXPECT_EQ(Pixels(z), std::vector<uint32_t>(16, 0));
}

TEST_F(D3DTest, ChannelsWidenByTheFullRangeRuleAndNarrowByTruncation) {
  struct Case {
    const char* name;
    PlatDDPixelFormat format;
    int bits[4];  // r, g, b, a (0: none)
  };
  const Case cases[] = {
      {"565", Format565(), {5, 6, 5, 0}},
      {"1555", Format1555(), {5, 5, 5, 1}},
      {"4444", Format4444(), {4, 4, 4, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Widening: channel value k in texel k of a 64 x 1 texture, copied to 8888.
    PlatDDSurface texture = Texture(c.format, 64, 1);
    const uint32_t masks[4] = {c.format.rMask, c.format.gMask, c.format.bMask, c.format.aMask};
    std::vector<uint32_t> texels(64, 0);
    for (uint32_t k = 0; k < 64; k++)
      for (int ch = 0; ch < 4; ch++)
        if (c.bits[ch]) texels[k] |= (k % (1u << c.bits[ch])) << __builtin_ctz(masks[ch]);
    SetPixels(texture, texels);
    PlatDDSurface wide = Target(Format8888(), 64, 1);
    PlatD3DDevice d = Device(wide);
    TextureStates(d, texture);
    ASSERT_EQ(DrawList(d, Quad(0, 0, 64, 1)), PLAT_D3D_OK);
    const std::vector<uint32_t> p = Pixels(wide);
    for (uint32_t k = 0; k < 64; k++) {
      uint32_t want = 0;
      for (int ch = 0; ch < 4; ch++) {
        const uint32_t v = c.bits[ch] ? Widen(k % (1u << c.bits[ch]), c.bits[ch]) : 255;
        want |= v << (ch == 3 ? 24 : 16 - 8 * ch);
      }
      ASSERT_EQ(p[k], want) << k;
    }
    // Narrowing: every 8-bit value, 256 texels of 8888 onto the format.
    PlatDDSurface source = Texture(Format8888(), 256, 1);
    std::vector<uint32_t> all(256);
    for (uint32_t k = 0; k < 256; k++) all[k] = k * 0x01010101u;
    SetPixels(source, all);
    PlatDDSurface narrow = Target(c.format, 256, 1);
    PlatD3DDevice n = Device(narrow);
    TextureStates(n, source);
    ASSERT_EQ(DrawList(n, Quad(0, 0, 256, 1)), PLAT_D3D_OK);
    const std::vector<uint32_t> q = Pixels(narrow);
    for (uint32_t k = 0; k < 256; k++) {
      uint32_t want = 0;
      for (int ch = 0; ch < 4; ch++)
        if (c.bits[ch]) want |= (k >> (8 - c.bits[ch])) << __builtin_ctz(masks[ch]);
      ASSERT_EQ(q[k], want) << k;
    }
  }
}

TEST_F(D3DTest, SameFormatCopiesAreExactAndInvDestColorInvertsExactly) {
  // All 65,536 R5G6B5 values.
  std::vector<uint32_t> all(65536);
  for (uint32_t k = 0; k < all.size(); k++) all[k] = k;
  PlatDDSurface texture = Texture(Format565(), 256, 256);
  SetPixels(texture, all);
  PlatDDSurface target = Target(Format565(), 256, 256);
  PlatD3DDevice d = Device(target);
  TextureStates(d, texture);
  ASSERT_EQ(DrawList(d, Quad(0, 0, 256, 256)), PLAT_D3D_OK);
  ASSERT_EQ(Pixels(target), all);

  // White under INVDESTCOLOR / ZERO.
  PlainStates(d);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHABLENDENABLE, 1);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_SRCBLEND, PLAT_D3DBLEND_INVDESTCOLOR);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_DESTBLEND, PLAT_D3DBLEND_ZERO);
  ASSERT_EQ(DrawList(d, Quad(0, 0, 256, 256, 0xFFFFFFFF)), PLAT_D3D_OK);
  const std::vector<uint32_t> inverted = Pixels(target);
  for (uint32_t k = 0; k < all.size(); k++) ASSERT_EQ(inverted[k], (~k) & 0xFFFFu) << k;

  // White at alpha 128 over black, SRCALPHA / INVSRCALPHA.
  PlatDDBltFx fx{sizeof fx, 0, 0};
  ASSERT_EQ(PlatDDSurfaceBlt(target, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx), PLAT_DD_OK);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_SRCBLEND, PLAT_D3DBLEND_SRCALPHA);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_DESTBLEND, PLAT_D3DBLEND_INVSRCALPHA);
  ASSERT_EQ(DrawList(d, Quad(0, 0, 2, 2, 0x80FFFFFF)), PLAT_D3D_OK);
  EXPECT_EQ(Pixels(target)[0], 0x8410u);
}

TEST_F(D3DTest, TheTargetsNoChannelBitsAreKept) {
  PlatDDSurface target = Target(Format555(), 2, 1);
  SetPixels(target, {0x8000, 0x0000});
  PlatD3DDevice d = Device(target);
  PlainStates(d);
  ASSERT_EQ(DrawList(d, Quad(0, 0, 2, 1, 0xFFFF0000)), PLAT_D3D_OK);
  EXPECT_EQ(Pixels(target), (std::vector<uint32_t>{0xFC00, 0x7C00}));
}

TEST_F(D3DTest, EachCombinerOpWithSampleValues) {
  PlatDDSurface target = Target(Format8888(), 2, 2);
  PlatD3DDevice d = Device(target);
  PlainStates(d);
  struct StageSetting {
    uint32_t colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2;
  };
  struct Case {
    const char* name;
    uint32_t diffuse, factor;
    std::vector<StageSetting> stages;
    uint32_t want;  // ARGB
  };
  const uint32_t D = PLAT_D3DTA_DIFFUSE, T = PLAT_D3DTA_TFACTOR, C = PLAT_D3DTA_CURRENT, X = PLAT_D3DTA_TEXTURE,
                 S = PLAT_D3DTA_SPECULAR, NOT = PLAT_D3DTA_COMPLEMENT;
  const uint32_t SEL1 = PLAT_D3DTOP_SELECTARG1, SEL2 = PLAT_D3DTOP_SELECTARG2, MOD = PLAT_D3DTOP_MODULATE,
                 OFF = PLAT_D3DTOP_DISABLE;
  const Case cases[] = {
      {"modulate", 0x80808080, 0x80808080, {{MOD, D, T, MOD, D, T}}, 0x40404040},
      {"modulate white", 0xFF123456, 0xFFFFFFFF, {{MOD, D, T, MOD, D, T}}, 0xFF123456},
      {"modulate2x", 0x80808040, 0x80808080, {{PLAT_D3DTOP_MODULATE2X, D, T, SEL1, D, T}}, 0x80818140},
      {"modulate4x", 0x80804020, 0x80808080, {{PLAT_D3DTOP_MODULATE4X, D, T, SEL1, D, T}}, 0x80FF8140},
      {"add saturates", 0x80C04010, 0x80808080, {{PLAT_D3DTOP_ADD, D, T, PLAT_D3DTOP_ADD, D, T}}, 0xFFFFC090},
      {"subtract clamps", 0x80C04010, 0x40808080, {{PLAT_D3DTOP_SUBTRACT, D, T, PLAT_D3DTOP_SUBTRACT, D, T}},
       0x40400000},
      // (a1 x 64 + a2 x 191 + 127) / 255 with the diffuse alpha 64.
      {"blend diffuse alpha", 0x40FF0000, 0xFF0000FF, {{PLAT_D3DTOP_BLENDDIFFUSEALPHA, D, T, SEL1, D, T}},
       0x404000BF},
      {"complement", 0x30306090, 0xFFFFFFFF, {{SEL1, D | NOT, T, SEL1, D | NOT, T}}, 0xCFCF9F6F},
      {"current at stage 0 is diffuse", 0x11223344, 0, {{SEL1, C, T, SEL1, C, T}}, 0x11223344},
      {"no texture reads white", 0x11223344, 0, {{SEL1, X, T, SEL2, T, X}}, 0xFFFFFFFF},
      {"no specular reads 0", 0x11223344, 0xFFFFFFFF, {{SEL1, S, T, SEL1, S, T}}, 0x00000000},
      {"disable ends the chain", 0x11223344, 0xFFFFFFFF, {{SEL1, D, T, SEL1, D, T}, {OFF, T, T, SEL1, T, T},
                                                          {SEL1, T, T, SEL1, T, T}}, 0x11223344},
      {"alpha disable passes current", 0x11223344, 0x55667788, {{SEL1, D, T, SEL1, D, T}, {SEL1, T, T, OFF, T, T}},
       0x11667788},
      // Stage 1 mixes the factor's colour by the current alpha 0x80.
      {"blend current alpha", 0x80FFFFFF, 0x00000000,
       {{SEL1, D, T, SEL1, D, T}, {PLAT_D3DTOP_BLENDCURRENTALPHA, C, T, SEL1, C, T}}, 0x80808080},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_TEXTUREFACTOR, c.factor);
    for (uint32_t s = 0; s < 4; s++) {
      const StageSetting st = s < c.stages.size() ? c.stages[s] : StageSetting{OFF, D, D, OFF, D, D};
      PlatD3DDeviceSetTextureStageState(d, s, PLAT_D3DTSS_COLOROP, st.colorOp);
      PlatD3DDeviceSetTextureStageState(d, s, PLAT_D3DTSS_COLORARG1, st.colorArg1);
      PlatD3DDeviceSetTextureStageState(d, s, PLAT_D3DTSS_COLORARG2, st.colorArg2);
      PlatD3DDeviceSetTextureStageState(d, s, PLAT_D3DTSS_ALPHAOP, st.alphaOp);
      PlatD3DDeviceSetTextureStageState(d, s, PLAT_D3DTSS_ALPHAARG1, st.alphaArg1);
      PlatD3DDeviceSetTextureStageState(d, s, PLAT_D3DTSS_ALPHAARG2, st.alphaArg2);
    }
    ASSERT_EQ(DrawList(d, Quad(0, 0, 2, 2, c.diffuse)), PLAT_D3D_OK);
    EXPECT_EQ(Pixels(target)[0], c.want);
  }
}

TEST_F(D3DTest, AlphaTestGreaterThanSixteen) {
  PlatDDSurface target = Target(Format565(), 2, 1);
  PlatD3DDevice d = Device(target);
  PlainStates(d);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHATESTENABLE, 1);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHAREF, 16);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHAFUNC, PLAT_D3DCMP_GREATER);
  ASSERT_EQ(DrawList(d, Quad(0, 0, 1, 1, 0x10FFFFFF)), PLAT_D3D_OK);
  ASSERT_EQ(DrawList(d, Quad(1, 0, 2, 1, 0x11FFFFFF)), PLAT_D3D_OK);
  EXPECT_EQ(Pixels(target), (std::vector<uint32_t>{0x0000, 0xFFFF}));
}

TEST_F(D3DTest, TheColourKeyDropsTheKeyTexelWhateverItsAlphaAndSpareBits) {
  struct Case {
    const char* name;
    PlatDDPixelFormat format;
    std::vector<uint32_t> texels;  // the key is 0x001F
    uint32_t magFilter;
  };
  const Case cases[] = {
      {"1555", Format1555(), {0x801F, 0x001F, 0x001E, 0x801E}, PLAT_D3DTFG_POINT},
      {"x555", Format555(), {0x801F, 0x001F, 0x001E, 0x801E}, PLAT_D3DTFG_POINT},
      {"565 linear", Format565(), {0x001F, 0x001F, 0x001E, 0x001E}, PLAT_D3DTFG_LINEAR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlatDDSurface texture = Texture(c.format, 4, 1);
    SetPixels(texture, c.texels);
    const PlatDDColorKey key{0x001F, 0x001F};
    ASSERT_EQ(PlatDDSurfaceSetColorKey(texture, PLAT_DDCKEY_SRCBLT, &key), PLAT_DD_OK);
    PlatDDSurface target = Target(Format8888(), 4, 1);
    PlatD3DDevice d = Device(target);
    TextureStates(d, texture);
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_MAGFILTER, c.magFilter);
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_COLORKEYENABLE, 1);
    // Pixel x at texel x's centre.
    ASSERT_EQ(DrawList(d, Quad(-0.5f, -0.5f, 3.5f, 0.5f)), PLAT_D3D_OK);
    const std::vector<uint32_t> p = Pixels(target);
    EXPECT_EQ(p[0], 0u);
    EXPECT_EQ(p[1], 0u);
    EXPECT_EQ(p[2] & 0xFFFFFF, Widen(0x1E, 5));
    EXPECT_EQ(p[3] & 0xFFFFFF, Widen(0x1E, 5));
    // Without COLORKEYENABLE the key texel is drawn.
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_COLORKEYENABLE, 0);
    ASSERT_EQ(DrawList(d, Quad(-0.5f, -0.5f, 3.5f, 0.5f)), PLAT_D3D_OK);
    EXPECT_EQ(Pixels(target)[1] & 0xFFFFFF, 0xFFu);
  }
}

TEST_F(D3DTest, LinearFilteringAtCentresIsPointSamplingAndHalfwayIsTheRoundedMean) {
  const std::vector<uint32_t> texels = {0xFF000000, 0xFF0102FF, 0x80FF7F10, 0x00203040,
                                        0xFFFFFFFF, 0x01010101, 0x7F7F7F7F, 0x10305070};
  PlatDDSurface texture = Texture(Format8888(), 8, 1);
  SetPixels(texture, texels);
  PlatDDSurface target = Target(Format8888(), 8, 1);
  PlatD3DDevice d = Device(target);
  TextureStates(d, texture);
  PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_MAGFILTER, PLAT_D3DTFG_LINEAR);
  PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_MINFILTER, PLAT_D3DTFN_LINEAR);
  // Pixel x at texel x's centre.
  ASSERT_EQ(DrawList(d, Quad(-0.5f, -0.5f, 7.5f, 0.5f, 0xFFFFFFFF, 0, 0, 1, 1)), PLAT_D3D_OK);
  EXPECT_EQ(Pixels(target), texels);
  // Pixel x halfway between texels x and x + 1 (the last clamps to texel 7).
  ASSERT_EQ(DrawList(d, Quad(0, -0.5f, 8, 0.5f, 0xFFFFFFFF, 1.0f / 8, 0, 9.0f / 8, 1)), PLAT_D3D_OK);
  const std::vector<uint32_t> p = Pixels(target);
  for (uint32_t x = 0; x < 8; x++) {
    const uint32_t a = texels[x], b = texels[std::min(x + 1, 7u)];
    uint32_t want = 0;
    for (int sh = 0; sh < 32; sh += 8) want |= ((((a >> sh) & 0xFF) + ((b >> sh) & 0xFF) + 1) / 2) << sh;
    EXPECT_EQ(p[x], want) << x;
  }
}

TEST_F(D3DTest, TheSecondCoordinateSetIsChosenPerStage) {
  PlatDDSurface texture = Texture(Format565(), 4, 1);
  SetPixels(texture, {0x1111, 0x2222, 0x3333, 0x4444});
  PlatDDSurface target = Target(Format565(), 1, 1);
  PlatD3DDevice d = Device(target);
  TextureStates(d, texture);
  const PlatD3DBlendVertex tl{0, 0, 0, 1, 0xFFFFFFFF, 0xFFFFFFFF, 0.1f, 0, 0.6f, 0},
      tr{1, 0, 0, 1, 0xFFFFFFFF, 0xFFFFFFFF, 0.1f, 0, 0.6f, 0}, bl{0, 1, 0, 1, 0xFFFFFFFF, 0xFFFFFFFF, 0.1f, 0, 0.6f, 0};
  const PlatD3DBlendVertex tri[] = {tl, tr, bl};
  for (auto [set, want] : {std::pair{0u, 0x1111u}, std::pair{1u, 0x3333u}}) {
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_TEXCOORDINDEX, set);
    ASSERT_EQ(PlatD3DDeviceDrawPrimitive(d, PLAT_D3DPT_TRIANGLELIST, PLAT_D3DFVF_BLENDVERTEX, tri, 3, 0), PLAT_D3D_OK);
    EXPECT_EQ(Pixels(target)[0], want) << set;
  }
  // The textured vertex has one set: set 1 reads it.
  ASSERT_EQ(DrawList(d, Quad(0, 0, 1, 1, 0xFFFFFFFF, 0.3f, 0, 0.3f, 0)), PLAT_D3D_OK);
  EXPECT_EQ(Pixels(target)[0], 0x2222u);
}

TEST_F(D3DTest, LoadCopiesARectangleAndRefusesBadOnes) {
  PlatDDSurface src = Texture(Format565(), 4, 4), dst = Texture(Format565(), 4, 4);
  std::vector<uint32_t> values(16);
  for (uint32_t k = 0; k < 16; k++) values[k] = 0x100 + k;
  SetPixels(src, values);
  PlatD3DDevice d = Device(Target(Format565(), 4, 4));
  const PlatRect r{1, 1, 3, 4};
  const PlatPoint at{2, 0};
  ASSERT_EQ(PlatD3DDeviceLoad(d, dst, &at, src, &r, 0), PLAT_D3D_OK);
  EXPECT_EQ(Pixels(dst), (std::vector<uint32_t>{0, 0, 0x105, 0x106,  //
                                                0, 0, 0x109, 0x10A,  //
                                                0, 0, 0x10D, 0x10E,  //
                                                0, 0, 0, 0}));
  const PlatRect outside{2, 2, 5, 3}, empty{1, 1, 1, 3}, negative{-1, 0, 2, 2};
  const PlatPoint far{3, 3};
  EXPECT_EQ(PlatD3DDeviceLoad(d, dst, nullptr, src, &outside, 0), PLAT_DDERR_INVALIDRECT);
  EXPECT_EQ(PlatD3DDeviceLoad(d, dst, nullptr, src, &empty, 0), PLAT_DDERR_INVALIDRECT);
  EXPECT_EQ(PlatD3DDeviceLoad(d, dst, nullptr, src, &negative, 0), PLAT_DDERR_INVALIDRECT);
  EXPECT_EQ(PlatD3DDeviceLoad(d, dst, &far, src, &r, 0), PLAT_DDERR_INVALIDRECT);
  PlatDDSurface other = Texture(Format555(), 4, 4);
  EXPECT_EQ(PlatD3DDeviceLoad(d, other, nullptr, src, nullptr, 0), PLAT_DDERR_INVALIDPIXELFORMAT);
  // Whole surfaces by default.
  ASSERT_EQ(PlatD3DDeviceLoad(d, dst, nullptr, src, nullptr, 0), PLAT_D3D_OK);
  EXPECT_EQ(Pixels(dst), values);
}

TEST_F(D3DTest, StaleIdsAreRefused) {
  PlatDDSurface target = Target(Format565(), 4, 4);
  PlatDDSurface texture = Texture(Format565(), 2, 2);
  PlatD3DDevice d = Device(target);
  TextureStates(d, texture);
  ASSERT_EQ(PlatDDSurfaceRelease(texture), PLAT_DD_OK);
  EXPECT_EQ(DrawList(d, Quad(0, 0, 4, 4)), PLAT_DDERR_INVALIDOBJECT);
  EXPECT_EQ(PlatD3DDeviceSetTexture(d, 1, texture), PLAT_DDERR_INVALIDOBJECT);
  ASSERT_EQ(PlatD3DDeviceSetTexture(d, 0, 0), PLAT_D3D_OK);
  ASSERT_EQ(PlatDDSurfaceRelease(target), PLAT_DD_OK);
  EXPECT_EQ(DrawList(d, Quad(0, 0, 4, 4)), PLAT_DDERR_INVALIDOBJECT);

  ASSERT_EQ(PlatD3DDeviceRelease(d), PLAT_D3D_OK);
  EXPECT_EQ(PlatD3DDeviceRelease(d), PLAT_DDERR_INVALIDOBJECT);
  EXPECT_EQ(PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ZENABLE, 0), PLAT_DDERR_INVALIDOBJECT);
  EXPECT_EQ(PlatD3DDeviceBeginScene(d), PLAT_DDERR_INVALIDOBJECT);
  // A new device in the same slot does not answer to the old id.
  PlatD3DDevice again = Device(Target(Format565(), 4, 4));
  EXPECT_NE(again, d);
  EXPECT_EQ(PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ZENABLE, 0), PLAT_DDERR_INVALIDOBJECT);
  ASSERT_EQ(PlatD3DRelease(d3d), PLAT_D3D_OK);
  PlatD3DDevice none = 0;
  EXPECT_EQ(PlatD3DCreateDevice(d3d, PLAT_D3DDEVTYPE_HAL, target, &none), PLAT_DDERR_INVALIDOBJECT);
  d3d = 0;
}

TEST_F(D3DTest, WildInputDrawsNothingOutsideTheTargetAndBadIndicesAreRefused) {
  PlatDDSurface target = Target(Format565(), 16, 8);
  PlatD3DDevice d = Device(target);
  PlainStates(d);
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const float beyond = 4194305.0f;  // 2^22 + 1
  for (float wild : {nan, inf, -inf}) {
    std::vector<PlatD3DTexturedVertex> q = Quad(0, 0, 16, 8, 0xFFFFFFFF);
    q[0].x = wild;  // drops the first triangle only
    ASSERT_EQ(DrawList(d, q), PLAT_D3D_OK);
    const std::vector<uint32_t> p = Pixels(target);
    EXPECT_EQ(At(p, 16, 0, 0), 0u) << wild;
    EXPECT_EQ(At(p, 16, 15, 7), 0xFFFFu) << wild;
    PlatDDBltFx fx{sizeof fx, 0, 0};
    PlatDDSurfaceBlt(target, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx);
  }
  // Far corners: the triangle far larger than the target fills exactly the target.
  for (float far : {1e30f, beyond, 1e9f}) {
    PlatDDBltFx fx{sizeof fx, 0, 0};
    PlatDDSurfaceBlt(target, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx);
    const PlatD3DColorVertex tri[] = {{-far, -far, 0, 1, 0xFFFFFFFF}, {2 * far, -far, 0, 1, 0xFFFFFFFF},
                                      {-far, 2 * far, 0, 1, 0xFFFFFFFF}};
    ASSERT_EQ(PlatD3DDeviceDrawPrimitive(d, PLAT_D3DPT_TRIANGLELIST, PLAT_D3DFVF_COLORVERTEX, tri, 3, 0), PLAT_D3D_OK);
    EXPECT_EQ(Pixels(target), std::vector<uint32_t>(16 * 8, 0xFFFF)) << far;
    // One far corner: the rows from 0 to 3, from x = 2 on.
    PlatDDSurfaceBlt(target, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx);
    const PlatD3DColorVertex wedge[] = {{2, 0, 0, 1, 0xFFFFFFFF}, {far, 0, 0, 1, 0xFFFFFFFF},
                                        {2, 4, 0, 1, 0xFFFFFFFF}};
    ASSERT_EQ(PlatD3DDeviceDrawPrimitive(d, PLAT_D3DPT_TRIANGLELIST, PLAT_D3DFVF_COLORVERTEX, wedge, 3, 0),
              PLAT_D3D_OK);
    const std::vector<uint32_t> p = Pixels(target);
    for (uint32_t y = 0; y < 8; y++)
      for (uint32_t x = 0; x < 16; x++) EXPECT_EQ(At(p, 16, x, y), x >= 2 && y < 4 ? 0xFFFFu : 0u) << far;
  }
  const std::vector<PlatD3DTexturedVertex> q = Quad(0, 0, 16, 8);
  const uint16_t bad[] = {0, 1, 6};
  EXPECT_EQ(PlatD3DDeviceDrawIndexedPrimitive(d, PLAT_D3DPT_TRIANGLESTRIP, PLAT_D3DFVF_TEXTUREDVERTEX, q.data(), 6,
                                              bad, 3, 0),
            PLAT_D3DERR_INVALIDINDEX);
  EXPECT_EQ(PlatD3DDeviceDrawPrimitive(d, PLAT_D3DPT_TRIANGLELIST, 0x42, q.data(), 6, 0),
            PLAT_D3DERR_INVALIDVERTEXFORMAT);
  EXPECT_EQ(PlatD3DDeviceDrawPrimitive(d, PlatD3DPrimitiveType(7), PLAT_D3DFVF_TEXTUREDVERTEX, q.data(), 6, 0),
            PLAT_D3DERR_INVALIDPRIMITIVETYPE);
}

TEST_F(D3DTest, IndexedStripsDrawThroughTheirIndices) {
  PlatDDSurface target = Target(Format888(), 4, 4);
  PlatD3DDevice d = Device(target);
  PlainStates(d);
  // A 2 x 3 grid of vertices, rows 0 and 1: the strip (3, 0, 4, 1, 5, 2) covers it all.
  std::vector<PlatD3DColorVertex> grid;
  for (float y : {0.0f, 4.0f})
    for (float x : {0.0f, 2.0f, 4.0f}) grid.push_back({x, y, 0, 1, 0x00ABCDEF});
  const uint16_t strip[] = {3, 0, 4, 1, 5, 2};
  ASSERT_EQ(PlatD3DDeviceDrawIndexedPrimitive(d, PLAT_D3DPT_TRIANGLESTRIP, PLAT_D3DFVF_COLORVERTEX, grid.data(), 6,
                                              strip, 6, 0),
            PLAT_D3D_OK);
  EXPECT_EQ(Pixels(target), std::vector<uint32_t>(16, 0xABCDEF));
}

TEST_F(D3DTest, ScenesPairUpAndEndSceneOnThePrimaryUploadsIt) {
  PlatShowWindow(window, PLAT_SW_SHOWNA);
  ASSERT_EQ(PlatDDrawSetCooperativeLevel(dd, window, PLAT_DDSCL_NORMAL), PLAT_DD_OK);
  PlatDDSurface primary = MakePrimary();
  PlatD3DDevice d = Device(primary);
  PlainStates(d);
  EXPECT_EQ(PlatD3DDeviceEndScene(d), PLAT_D3DERR_SCENENOTINSCENE);
  ASSERT_EQ(PlatD3DDeviceBeginScene(d), PLAT_D3D_OK);
  EXPECT_EQ(PlatD3DDeviceBeginScene(d), PLAT_D3DERR_SCENEINSCENE);
  const uint32_t before = PlatDisplayUploadCount();
  ASSERT_EQ(DrawList(d, Quad(100, 100, 104, 104, 0xFF00FF00)), PLAT_D3D_OK);
  EXPECT_EQ(PlatDisplayUploadCount(), before);  // drawn, not yet shown
  ASSERT_EQ(PlatD3DDeviceEndScene(d), PLAT_D3D_OK);
  EXPECT_GT(PlatDisplayUploadCount(), before);
  EXPECT_EQ(PlatDisplayReadRgb(100, 100) & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(PlatDisplayReadRgb(104, 100) & 0xFFFFFF, 0xFFFFFFu);
}

// The span path of 2D pictures (one point-sampled texture, no depth) gives the general
// path's pixels bit for bit: a table of stage rows, blend factors, alpha tests and colour
// keys over texture and target formats, each drawn on five shapes (texel for pixel,
// stretched, mirrored, a turned triangle whose v runs across rows, coordinates past the
// edges) once on each path over the same destination.
TEST_F(D3DTest, TheSpanPathDrawsWhatTheGeneralPathDraws) {
  constexpr uint32_t TEX = PLAT_D3DTA_TEXTURE, DIF = PLAT_D3DTA_DIFFUSE, FAC = PLAT_D3DTA_TFACTOR,
                     CUR = PLAT_D3DTA_CURRENT, COMP = PLAT_D3DTA_COMPLEMENT;
  constexpr uint32_t SEL1 = PLAT_D3DTOP_SELECTARG1, SEL2 = PLAT_D3DTOP_SELECTARG2, MOD = PLAT_D3DTOP_MODULATE,
                     OFF = PLAT_D3DTOP_DISABLE;
  struct Ops {
    const char* name;
    uint32_t colorOp, color1, color2, alphaOp, alpha1, alpha2;
  };
  const Ops ops[] = {
      {"texel", SEL1, TEX, DIF, SEL1, TEX, DIF},
      {"texel x diffuse", MOD, TEX, DIF, MOD, TEX, DIF},
      {"inverted texel x diffuse", MOD, TEX | COMP, DIF, MOD, DIF, TEX | COMP},
      {"diffuse alpha", SEL1, TEX, DIF, SEL2, TEX, CUR},
      {"alpha passed on", SEL2, DIF, TEX, OFF, TEX, TEX},
      {"factor", MOD, FAC, TEX, SEL1, FAC | COMP, TEX},
      // Two ops the span does not take: the general path draws these on both runs.
      {"added", PLAT_D3DTOP_ADD, TEX, DIF, SEL1, TEX, DIF},
  };
  struct Blend {
    uint32_t on, src, dest;
  };
  const Blend blends[] = {{0, 0, 0},
                          {1, PLAT_D3DBLEND_SRCALPHA, PLAT_D3DBLEND_INVSRCALPHA},
                          {1, PLAT_D3DBLEND_SRCALPHA, PLAT_D3DBLEND_ONE},
                          {1, PLAT_D3DBLEND_ZERO, PLAT_D3DBLEND_SRCCOLOR},
                          {1, PLAT_D3DBLEND_INVDESTCOLOR, PLAT_D3DBLEND_ZERO},
                          {1, PLAT_D3DBLEND_ONE, PLAT_D3DBLEND_ZERO}};
  struct Test {
    uint32_t alphaTest, ref, func, colorKey;
  };
  const Test tests[] = {{0, 0, 0, 0}, {1, 16, PLAT_D3DCMP_GREATER, 0}, {1, 128, PLAT_D3DCMP_GREATEREQUAL, 1}};
  struct Formats {
    const char* name;
    PlatDDPixelFormat texture, target;
  };
  const Formats formats[] = {{"1555 on 565", Format1555(), Format565()},
                             {"8888 on 8888", Format8888(), Format8888()},
                             {"4444 on 1555", Format4444(), Format1555()},
                             {"565 on 888", Format565(), Format888()}};
  constexpr uint32_t kTexW = 16, kTexH = 12, kW = 24, kH = 20;
  auto triangle = [](float x0, float y0, float u0, float v0, float x1, float y1, float u1, float v1, float x2,
                     float y2, float u2, float v2, uint32_t diffuse) {
    return std::vector<PlatD3DTexturedVertex>{
        {x0, y0, 0, 1, diffuse, u0, v0}, {x1, y1, 0, 1, diffuse, u1, v1}, {x2, y2, 0, 1, diffuse, u2, v2}};
  };
  const uint32_t diffuse = 0x80C06040;
  const std::vector<PlatD3DTexturedVertex> shapes[] = {
      Quad(3.5f, 2.5f, 3.5f + kTexW, 2.5f + kTexH, diffuse),
      Quad(0.25f, 1.1f, 23.3f, 18.7f, 0xFFFFFFFF),
      Quad(1.5f, 0.5f, 20.5f, 17.5f, diffuse, 1, 1, 0, 0),
      triangle(2.3f, 1.7f, 0.1f, 0.0f, 22.1f, 5.2f, 0.9f, 0.3f, 6.4f, 19.6f, 0.2f, 1.0f, diffuse),
      Quad(-2.0f, -1.5f, 26.0f, 21.5f, 0xFFFFFFFF, -0.5f, -0.25f, 1.5f, 1.25f),
  };
  const PlatDDColorKey key{0x0000, 0x0000};
  // The general path stays off only while a draw compares the two, even when one fails.
  struct SpanPathOn {
    ~SpanPathOn() { soft::SetSpanPath(true); }
  } restore;
  int draws = 0, changed = 0;
  for (const Formats& f : formats) {
    SCOPED_TRACE(f.name);
    PlatDDSurface texture = Texture(f.texture, kTexW, kTexH);
    std::vector<uint32_t> texels(kTexW * kTexH), destination(kW * kH);
    uint32_t seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    // Every fifth texel is the key (0 in its colour bits); the rest cover every value.
    for (size_t i = 0; i < texels.size(); i++) texels[i] = i % 5 == 0 ? (next() & f.texture.aMask) : next();
    for (uint32_t& d : destination) d = next();
    SetPixels(texture, texels);
    ASSERT_EQ(PlatDDSurfaceSetColorKey(texture, PLAT_DDCKEY_SRCBLT, &key), PLAT_DD_OK);
    PlatDDSurface target = Target(f.target, kW, kH);
    PlatD3DDevice d = Device(target);
    TextureStates(d, texture);
    PlatD3DDeviceSetTextureStageState(d, 1, PLAT_D3DTSS_COLOROP, PLAT_D3DTOP_DISABLE);
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_TEXTUREFACTOR, 0x9030A0F0);
    for (const Ops& o : ops)
      for (const Blend& b : blends)
        for (const Test& t : tests) {
          PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_COLOROP, o.colorOp);
          PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_COLORARG1, o.color1);
          PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_COLORARG2, o.color2);
          PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_ALPHAOP, o.alphaOp);
          PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_ALPHAARG1, o.alpha1);
          PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_ALPHAARG2, o.alpha2);
          PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHABLENDENABLE, b.on);
          PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_SRCBLEND, b.src);
          PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_DESTBLEND, b.dest);
          PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHATESTENABLE, t.alphaTest);
          PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHAREF, t.ref);
          PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHAFUNC, t.func);
          PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_COLORKEYENABLE, t.colorKey);
          for (size_t s = 0; s < std::size(shapes); s++) {
            SCOPED_TRACE(testing::Message() << o.name << ", blend " << b.src << "/" << b.dest << ", test "
                                            << t.alphaTest << ", key " << t.colorKey << ", shape " << s);
            std::vector<uint32_t> drawn[2];
            for (const bool span : {true, false}) {
              soft::SetSpanPath(span);
              SetPixels(target, destination);
              ASSERT_EQ(DrawList(d, shapes[s]), PLAT_D3D_OK);
              drawn[span] = Pixels(target);
            }
            soft::SetSpanPath(true);
            ASSERT_EQ(drawn[0], drawn[1]);
            draws++;
            changed += drawn[0] != destination ? 1 : 0;
          }
        }
  }
  // Most draws show something, so that the tables compare pixels drawn, not the destination.
  EXPECT_GT(changed, draws * 3 / 4);
}

// The span functions against the general path on random states: every pair of texture and
// target formats, both filters, every op and argument, alpha tests, blends, culling and the
// colour key, over shapes that take each road of the spans (a texel a pixel, filtered at
// texel centres, scaled, mirrored, turned, coordinates on the 1/512-texel boundaries where
// the stepped addresses must give way to the double evaluation, and wild ones) and of the
// rectangles drawn as rows (quads as lists and strips, split along either diagonal, off the
// pixel grid, scissored, halves that differ in colour or texture mapping).
TEST_F(D3DTest, TheSpansDrawWhatTheGeneralPathDrawsOnRandomStates) {
  const PlatDDPixelFormat formats[] = {Format565(), Format555(), Format1555(), Format4444(), Format888(), Format8888()};
  const uint32_t ops[] = {PLAT_D3DTOP_SELECTARG1, PLAT_D3DTOP_SELECTARG2, PLAT_D3DTOP_MODULATE,
                          PLAT_D3DTOP_MODULATE2X, PLAT_D3DTOP_MODULATE4X, PLAT_D3DTOP_ADD,
                          PLAT_D3DTOP_SUBTRACT,   PLAT_D3DTOP_BLENDDIFFUSEALPHA, PLAT_D3DTOP_BLENDCURRENTALPHA};
  const uint32_t args[] = {PLAT_D3DTA_DIFFUSE, PLAT_D3DTA_CURRENT, PLAT_D3DTA_TEXTURE, PLAT_D3DTA_TFACTOR,
                           PLAT_D3DTA_SPECULAR};
  const uint32_t factors[] = {PLAT_D3DBLEND_ZERO,     PLAT_D3DBLEND_ONE,         PLAT_D3DBLEND_SRCCOLOR,
                              PLAT_D3DBLEND_SRCALPHA, PLAT_D3DBLEND_INVSRCALPHA, PLAT_D3DBLEND_INVDESTCOLOR};
  constexpr uint32_t kW = 40, kH = 32;
  uint32_t seed = 20261211;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
  auto pick = [&](uint32_t n) { return next() % n; };
  auto unit = [&] { return float(next() % 4096) / 4096.0f; };
  // The general path stays off only while a draw compares the two, even when one fails.
  struct SpanPathOn {
    ~SpanPathOn() { soft::SetSpanPath(true); }
  } restore;
  int changed = 0;
  constexpr int kCases = 900;
  for (int c = 0; c < kCases; c++) {
    const uint32_t tf = pick(6), gf = pick(6), tw = 1 + pick(40), th = 1 + pick(40);
    PlatDDSurface texture = Texture(formats[tf], tw, th);
    std::vector<uint32_t> texels(size_t(tw) * th), destination(kW * kH);
    for (uint32_t& t : texels) t = next() ^ next() << 16;
    for (uint32_t& d : destination) d = next() ^ next() << 16;
    const PlatDDColorKey key{texels[pick(uint32_t(texels.size()))], 0};
    SetPixels(texture, texels);
    ASSERT_EQ(PlatDDSurfaceSetColorKey(texture, PLAT_DDCKEY_SRCBLT, &key), PLAT_DD_OK);
    PlatDDSurface target = Target(formats[gf], kW, kH);
    PlatD3DDevice d = Device(target);
    TextureStates(d, texture);
    if (pick(8) == 0) PlatD3DDeviceSetTexture(d, 0, 0);
    // Mostly the engine's recipes (the texel, or the texel times the diffuse), else anything.
    const uint32_t recipe = pick(3);
    auto arg = [&] { return args[pick(5)] | (pick(4) == 0 ? uint32_t(PLAT_D3DTA_COMPLEMENT) : 0u); };
    const uint32_t colorOp = recipe == 0 ? PLAT_D3DTOP_SELECTARG1 : recipe == 1 ? PLAT_D3DTOP_MODULATE : ops[pick(9)];
    const uint32_t alphaOp = recipe < 2 && pick(2) ? PLAT_D3DTOP_SELECTARG1 : pick(6) == 0 ? PLAT_D3DTOP_DISABLE : ops[pick(9)];
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_COLOROP, colorOp);
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_COLORARG1, recipe < 2 ? PLAT_D3DTA_TEXTURE : arg());
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_COLORARG2, recipe < 2 ? PLAT_D3DTA_DIFFUSE : arg());
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_ALPHAOP, alphaOp);
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_ALPHAARG1, recipe < 2 && pick(2) ? PLAT_D3DTA_TEXTURE : arg());
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_ALPHAARG2, arg());
    PlatD3DDeviceSetTextureStageState(d, 1, PLAT_D3DTSS_COLOROP, PLAT_D3DTOP_DISABLE);
    const bool linear = pick(3) == 0;
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_MAGFILTER, linear ? PLAT_D3DTFG_LINEAR : PLAT_D3DTFG_POINT);
    PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_MINFILTER, linear ? PLAT_D3DTFN_LINEAR : PLAT_D3DTFN_POINT);
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_TEXTUREFACTOR, next() ^ next() << 16);
    const uint32_t blend = pick(4);  // none, mix, add, any
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHABLENDENABLE, blend != 0);
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_SRCBLEND, blend == 3 ? factors[pick(6)] : PLAT_D3DBLEND_SRCALPHA);
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_DESTBLEND,
                                blend == 3   ? factors[pick(6)]
                                : blend == 2 ? PLAT_D3DBLEND_ONE
                                             : PLAT_D3DBLEND_INVSRCALPHA);
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHATESTENABLE, pick(2));
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHAREF, pick(256));
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHAFUNC, 1 + pick(8));
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_COLORKEYENABLE, pick(2));
    PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_CULLMODE, 1 + pick(3));
    if (pick(4) == 0) {
      PlatD3DViewport view{pick(kW / 2), pick(kH / 2), 0, 0, 0, 1};
      view.width = 1 + pick(kW - view.x);
      view.height = 1 + pick(kH - view.y);
      ASSERT_EQ(PlatD3DDeviceSetViewport(d, &view), PLAT_D3D_OK);
    }

    const uint32_t diffuse = next() ^ next() << 16;
    const float x0 = float(pick(kW)) - 8.5f, y0 = float(pick(kH)) - 8.5f;
    const float w = float(1 + pick(40)), h = float(1 + pick(30));
    const float u0 = float(pick(tw)) / float(tw), v0 = float(pick(th)) / float(th);
    std::vector<PlatD3DTexturedVertex> shape;
    bool strip = false;
    const uint32_t kind = pick(9);
    SCOPED_TRACE(testing::Message() << "case " << c << ", shape " << kind << ", texture " << tf << " " << tw << "x"
                                    << th << ", target " << gf);
    switch (kind) {
      case 0:  // a texel a pixel, at texel centres
        shape = Quad(x0, y0, x0 + w, y0 + h, diffuse, u0, v0, u0 + w / float(tw), v0 + h / float(th));
        break;
      case 1:  // a texel a pixel, off the centres
        shape = Quad(x0, y0, x0 + w, y0 + h, diffuse, u0 + 0.3f / float(tw), v0 + 0.7f / float(th),
                     u0 + (w + 0.3f) / float(tw), v0 + (h + 0.7f) / float(th));
        break;
      case 2:  // scaled and mirrored
        shape = Quad(x0, y0, x0 + w, y0 + h, diffuse, unit() * 1.4f - 0.2f, unit(), unit() * 1.4f - 0.2f, unit());
        break;
      case 3: {
        // Ties to round: 1/256 texel a pixel from half-pixel corners makes every address
        // one; 1/256 texel over three pixels each way, ending on a texel's edge, makes the
        // middle pixel a tie on that edge in exact arithmetic, which the double evaluation
        // rounds.
        const float su = 1.0f / (256.0f * float(tw)), sv = 1.0f / (256.0f * float(th));
        if (pick(2)) shape = Quad(x0, y0, x0 + w, y0 + h, diffuse, u0, v0, u0 + w * su, v0 + h * sv);
        else shape = Quad(x0, y0, x0 + 3, y0 + 3, diffuse, u0 + su * 255, v0 + sv * 255, u0 + su * 256, v0 + sv * 256);
        break;
      }
      case 4: {  // turned
        const float a = unit() * 6.2832f, cx = x0 + w / 2, cy = y0 + h / 2;
        auto at = [&](float dx, float dy, float u, float v) {
          return PlatD3DTexturedVertex{cx + dx * std::cos(a) - dy * std::sin(a), cy + dx * std::sin(a) + dy * std::cos(a),
                                       0, 1, diffuse, u, v};
        };
        const PlatD3DTexturedVertex k[4] = {at(-w / 2, -h / 2, 0, 0), at(w / 2, -h / 2, 1, 0), at(-w / 2, h / 2, 0, 1),
                                            at(w / 2, h / 2, 1, 1)};
        shape = {k[0], k[1], k[2], k[1], k[3], k[2]};
        break;
      }
      case 5:  // any triangle, coordinates beyond the texture
        for (int i = 0; i < 3; i++)
          shape.push_back({float(pick(kW + 20)) - 10 + unit(), float(pick(kH + 20)) - 10 + unit(), 0, 1, diffuse,
                           unit() * 4 - 2, unit() * 4 - 2});
        break;
      case 6:  // far coordinates, clipped first
        shape = Quad(-3e6f, y0, 5e6f, y0 + h, diffuse, -1e5f, v0, 1e5f, v0 + 0.5f);
        break;
      default: {
        // A quad off the pixel grid, as a list along either diagonal or as a strip, its
        // texture mapped any way or sheared, its halves' colours alike or not.
        const float x1 = x0 + unit() * 40, y1 = y0 + unit() * 30, ax = x0 + unit(), ay = y0 + unit();
        const float us[2] = {unit() * 1.4f - 0.2f, unit() * 1.4f - 0.2f}, vs[2] = {unit() * 1.4f - 0.2f, unit()};
        const bool sheared = pick(6) == 0;
        PlatD3DTexturedVertex k[4];
        for (int i = 0; i < 4; i++)
          k[i] = {i & 1 ? x1 : ax, i & 2 ? y1 : ay, 0, 1, diffuse, us[i & 1] + (sheared && i == 3 ? 0.1f : 0.0f),
                  vs[i >> 1]};
        strip = kind == 8;
        const int order = int(pick(4));
        static constexpr int kOrders[4][6] = {{0, 1, 2, 1, 3, 2}, {0, 1, 3, 0, 3, 2}, {3, 2, 1, 2, 0, 1}, {1, 3, 0, 0, 3, 2}};
        if (strip) shape = {k[0], k[1], k[2], k[3]};
        else
          for (int i : kOrders[order]) shape.push_back(k[i]);
        if (pick(6) == 0) shape[strip ? 1 : 3].diffuse = ~diffuse;
        break;
      }
    }
    std::vector<uint32_t> drawn[2];
    for (const bool span : {true, false}) {
      soft::SetSpanPath(span);
      SetPixels(target, destination);
      ASSERT_EQ(strip ? PlatD3DDeviceDrawPrimitive(d, PLAT_D3DPT_TRIANGLESTRIP, PLAT_D3DFVF_TEXTUREDVERTEX, shape.data(),
                                                   uint32_t(shape.size()), 0)
                      : DrawList(d, shape),
                PLAT_D3D_OK);
      drawn[span] = Pixels(target);
    }
    soft::SetSpanPath(true);
    ASSERT_EQ(drawn[0], drawn[1]);
    changed += drawn[0] != destination ? 1 : 0;
    PlatD3DDeviceRelease(d);
    PlatDDSurfaceRelease(target);
    PlatDDSurfaceRelease(texture);
  }
  // Most draws show something, so that the comparison is of pixels drawn.
  EXPECT_GT(changed, kCases / 2);
}

// Sprites drawn larger or smaller than their texels, as the rows a rectangle takes: every
// row reads its own texel row, on the span path as on the general one, keyed or not.
TEST_F(D3DTest, ScaledRectanglesReadEachRowsOwnTexels) {
  struct Case {
    const char* name;
    float width, height;  // on the screen, of a 24 x 18 texture
    bool keyed;
  };
  const Case cases[] = {{"halved", 12, 9, false},   {"a third", 8, 6, true},  {"two thirds", 16, 12, false},
                        {"tripled", 72, 54, true},   {"one and a half", 36, 27, false},
                        {"wider, shorter", 48, 9, true}};
  constexpr uint32_t kTexW = 24, kTexH = 18, kW = 80, kH = 60;
  struct SpanPathOn {
    ~SpanPathOn() { soft::SetSpanPath(true); }
  } restore;
  for (const PlatDDPixelFormat& format : {Format565(), Format8888()}) {
    PlatDDSurface texture = Texture(format, kTexW, kTexH);
    std::vector<uint32_t> texels(kTexW * kTexH);
    for (uint32_t i = 0; i < texels.size(); i++) texels[i] = i % 7 == 3 ? 0 : (i * 2654435761u) | 0xFF000000u;
    SetPixels(texture, texels);
    const PlatDDColorKey key{0, 0};
    ASSERT_EQ(PlatDDSurfaceSetColorKey(texture, PLAT_DDCKEY_SRCBLT, &key), PLAT_DD_OK);
    PlatDDSurface target = Target(Format888(), kW, kH);
    PlatD3DDevice d = Device(target);
    TextureStates(d, texture);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_COLORKEYENABLE, c.keyed);
      std::vector<uint32_t> drawn[2];
      for (const bool span : {true, false}) {
        soft::SetSpanPath(span);
        SetPixels(target, std::vector<uint32_t>(kW * kH, 0x123456));
        ASSERT_EQ(DrawList(d, Quad(3.5f, 2.5f, 3.5f + c.width, 2.5f + c.height)), PLAT_D3D_OK);
        drawn[span] = Pixels(target);
      }
      soft::SetSpanPath(true);
      ASSERT_EQ(drawn[1], drawn[0]);
      // The last row shows the texture's last row, not its first.
      EXPECT_NE(drawn[1][size_t(2 + uint32_t(c.height)) * kW + 4], drawn[1][3 * kW + 4]);
    }
  }
}
