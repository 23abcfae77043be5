// End to end: a scene of the soft Direct3D-style device's table cases drawn through the
// device into the primary under a 320 x 200 window, and presented.
//   d3dscene headless <frame>         draws on the headless platform and writes the
//                                     window's client area: one 0xRRGGBB value a line
//   d3dscene window <frame> <screen>  draws on the SDL platform and presents until the
//                                     screen (the XWD file Xvfb keeps in its -fbdir)
//                                     shows, at the window's client area and reduced
//                                     to 5:6:5, the frame written before (10 s)
// Exit 0 done (or shown), 1 failed, 77 where no window can be made.
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"
#include "platform/display/display.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"
#include "support/xwd.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kW = 320, kH = 200;

PlatDDPixelFormat Format(uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
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

PlatDDSurface Texture(PlatDDraw dd, uint32_t w, uint32_t h, const PlatDDPixelFormat& f,
                      uint32_t (*pixel)(uint32_t, uint32_t)) {
  PlatDDSurfaceDesc d{};
  d.size = sizeof d;
  d.flags = PLAT_DDSD_CAPS | PLAT_DDSD_WIDTH | PLAT_DDSD_HEIGHT | PLAT_DDSD_PIXELFORMAT;
  d.caps = PLAT_DDSCAPS_TEXTURE | PLAT_DDSCAPS_SYSTEMMEMORY;
  d.width = w;
  d.height = h;
  d.pixelFormat = f;
  PlatDDSurface s = 0;
  if (PlatDDrawCreateSurface(dd, &d, &s) != PLAT_DD_OK) return 0;
  if (PlatDDSurfaceLock(s, nullptr, &d, 0) == PLAT_DD_OK) {
    const uint32_t bytes = f.bitCount / 8;
    for (uint32_t y = 0; y < h; y++)
      for (uint32_t x = 0; x < w; x++) {
        const uint32_t v = pixel(x, y);
        std::memcpy(static_cast<uint8_t*>(d.surface) + y * uint32_t(d.pitch) + x * bytes, &v, bytes);
      }
    PlatDDSurfaceUnlock(s, nullptr);
  }
  return s;
}

uint32_t Gradient565(uint32_t x, uint32_t y) { return (x >> 2) << 11 | (y & 63) << 5 | ((x + y) & 31); }
uint32_t Disc4444(uint32_t x, uint32_t y) {
  const int dx = int(x) - 8, dy = int(y) - 8;
  return uint32_t(std::max(0, 15 - (dx * dx + dy * dy) / 4)) << 12 | 0x0F80 | (x & 15);
}
uint32_t Keyed565(uint32_t x, uint32_t y) { return (x + y) % 5 == 0 ? 0x001F : 0xFBE0 + (x & 31); }

void Stage0(PlatD3DDevice d, uint32_t colorOp, uint32_t colorArg, uint32_t alphaOp, uint32_t alphaArg) {
  PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_COLOROP, colorOp);
  PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_COLORARG1, colorArg);
  PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_COLORARG2, PLAT_D3DTA_DIFFUSE);
  PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_ALPHAOP, alphaOp);
  PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_ALPHAARG1, alphaArg);
  PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_ALPHAARG2, PLAT_D3DTA_DIFFUSE);
}

void Blend(PlatD3DDevice d, bool on, uint32_t src, uint32_t dst) {
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ALPHABLENDENABLE, on);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_SRCBLEND, src);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_DESTBLEND, dst);
}

// A rectangle at (x, y) of the window, as the engine's draws give it: corners shifted by
// half a pixel, turned by angle about its centre.
void Quad(PlatD3DDevice d, float ox, float oy, float x, float y, float w, float h, uint32_t diffuse, float us,
          float vs, float angle = 0) {
  const float cx = ox + x + w / 2, cy = oy + y + h / 2, c = std::cos(angle), s = std::sin(angle);
  auto at = [&](float dx, float dy, float u, float v) {
    return PlatD3DTexturedVertex{cx + dx * c - dy * s - 0.5f, cy + dx * s + dy * c - 0.5f, 0, 1, diffuse, u, v};
  };
  const PlatD3DTexturedVertex tl = at(-w / 2, -h / 2, 0, 0), tr = at(w / 2, -h / 2, us, 0),
                              bl = at(-w / 2, h / 2, 0, vs), br = at(w / 2, h / 2, us, vs);
  const PlatD3DTexturedVertex v[] = {tl, tr, bl, br};
  PlatD3DDeviceDrawPrimitive(d, PLAT_D3DPT_TRIANGLESTRIP, PLAT_D3DFVF_TEXTUREDVERTEX, v, 4, 0);
}

int Scene(PlatDDraw dd, PlatDDSurface primary, PlatPoint origin) {
  PlatD3D d3d = 0;
  PlatD3DDevice d = 0;
  if (PlatDDrawQueryDirect3D(dd, &d3d) != PLAT_D3D_OK ||
      PlatD3DCreateDevice(d3d, PLAT_D3DDEVTYPE_HAL, primary, &d) != PLAT_D3D_OK) {
    std::fprintf(stderr, "no device\n");
    return 1;
  }
  const PlatD3DViewport view{uint32_t(origin.x), uint32_t(origin.y), kW, kH, 0, 1};
  if (PlatD3DDeviceSetViewport(d, &view) != PLAT_D3D_OK) {
    std::fprintf(stderr, "the window lies off the desktop\n");
    return 1;
  }
  const PlatDDSurface gradient = Texture(dd, 128, 64, Format(16, 0xF800, 0x07E0, 0x001F, 0), Gradient565);
  const PlatDDSurface disc = Texture(dd, 16, 16, Format(16, 0x0F00, 0x00F0, 0x000F, 0xF000), Disc4444);
  const PlatDDSurface keyed = Texture(dd, 32, 32, Format(16, 0xF800, 0x07E0, 0x001F, 0), Keyed565);
  const PlatDDColorKey key{0x001F, 0x001F};
  PlatDDSurfaceSetColorKey(keyed, PLAT_DDCKEY_SRCBLT, &key);
  const float ox = float(origin.x), oy = float(origin.y);

  PlatD3DDeviceBeginScene(d);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_CULLMODE, PLAT_D3DCULL_NONE);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_SHADEMODE, PLAT_D3DSHADE_FLAT);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_ZENABLE, PLAT_D3DZB_FALSE);
  for (uint32_t s = 0; s < 2; s++) PlatD3DDeviceSetTextureStageState(d, s, PLAT_D3DTSS_ADDRESS, PLAT_D3DTADDRESS_CLAMP);
  // Background: an untextured box over the whole window.
  Stage0(d, PLAT_D3DTOP_SELECTARG1, PLAT_D3DTA_DIFFUSE, PLAT_D3DTOP_SELECTARG1, PLAT_D3DTA_DIFFUSE);
  Blend(d, false, PLAT_D3DBLEND_ONE, PLAT_D3DBLEND_ZERO);
  Quad(d, ox, oy, 0, 0, kW, kH, 0xFF203040, 0, 0);
  // The gradient one to one, then stretched and linearly filtered, then turned.
  PlatD3DDeviceSetTexture(d, 0, gradient);
  Stage0(d, PLAT_D3DTOP_SELECTARG1, PLAT_D3DTA_TEXTURE, PLAT_D3DTOP_SELECTARG2, PLAT_D3DTA_TEXTURE);
  Quad(d, ox, oy, 10, 20, 100, 50, 0xFFFFFFFF, 100 / 128.0f, 50 / 64.0f);
  PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_MAGFILTER, PLAT_D3DTFG_LINEAR);
  PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_MINFILTER, PLAT_D3DTFN_LINEAR);
  Quad(d, ox, oy, 120, 10, 190, 70, 0xFFFFFFFF, 1, 1);
  Quad(d, ox, oy, 20, 100, 80, 60, 0xFFFFFFFF, 1, 1, 0.5236f);
  PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_MAGFILTER, PLAT_D3DTFG_POINT);
  PlatD3DDeviceSetTextureStageState(d, 0, PLAT_D3DTSS_MINFILTER, PLAT_D3DTFN_POINT);
  // Mixed at alpha 128 and added, brightness through the diffuse colour.
  Stage0(d, PLAT_D3DTOP_MODULATE, PLAT_D3DTA_TEXTURE, PLAT_D3DTOP_SELECTARG2, PLAT_D3DTA_TEXTURE);
  Blend(d, true, PLAT_D3DBLEND_SRCALPHA, PLAT_D3DBLEND_INVSRCALPHA);
  Quad(d, ox, oy, 130, 60, 64, 64, 0x80FFC080, 0.5f, 1);
  Blend(d, true, PLAT_D3DBLEND_SRCALPHA, PLAT_D3DBLEND_ONE);
  Quad(d, ox, oy, 210, 60, 64, 64, 0xFF8080FF, 0.5f, 1);
  // An alpha-channel sprite, and a colour-keyed one.
  PlatD3DDeviceSetTexture(d, 0, disc);
  Stage0(d, PLAT_D3DTOP_SELECTARG1, PLAT_D3DTA_TEXTURE, PLAT_D3DTOP_SELECTARG1, PLAT_D3DTA_TEXTURE);
  Blend(d, true, PLAT_D3DBLEND_SRCALPHA, PLAT_D3DBLEND_INVSRCALPHA);
  for (int i = 0; i < 5; i++) Quad(d, ox, oy, 120.0f + i * 20, 140, 16, 16, 0xFFFFFFFF, 1, 1);
  PlatD3DDeviceSetTexture(d, 0, keyed);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_COLORKEYENABLE, 1);
  Blend(d, false, PLAT_D3DBLEND_ONE, PLAT_D3DBLEND_ZERO);
  Quad(d, ox, oy, 240, 135, 64, 64, 0xFFFFFFFF, 1, 1);
  PlatD3DDeviceSetRenderState(d, PLAT_D3DRS_COLORKEYENABLE, 0);
  // White under INVDESTCOLOR / ZERO: an inverted band across it all.
  PlatD3DDeviceSetTexture(d, 0, 0);
  Stage0(d, PLAT_D3DTOP_SELECTARG1, PLAT_D3DTA_DIFFUSE, PLAT_D3DTOP_SELECTARG1, PLAT_D3DTA_DIFFUSE);
  Blend(d, true, PLAT_D3DBLEND_INVDESTCOLOR, PLAT_D3DBLEND_ZERO);
  Quad(d, ox, oy, 0, 88, kW, 8, 0xFFFFFFFF, 0, 0);
  PlatD3DDeviceEndScene(d);

  PlatD3DDeviceRelease(d);
  PlatD3DRelease(d3d);
  return 0;
}

uint32_t To565(uint32_t rgb) { return (rgb >> 19 & 0x1F) << 11 | (rgb >> 10 & 0x3F) << 5 | (rgb >> 3 & 0x1F); }

// Pixels of the screen's client area that differ from the frame, after reduction to 5:6:5
// (-1: no screen to read yet).
long Differences(const std::vector<uint32_t>& frame, const char* screenPath, PlatPoint origin, bool report) {
  XwdImage screen;
  if (!ReadXwd(screenPath, &screen) || screen.width < origin.x + kW || screen.height < origin.y + kH) return -1;
  long bad = 0;
  for (int y = 0; y < kH; y++)
    for (int x = 0; x < kW; x++) {
      const uint32_t got = screen.At(origin.x + x, origin.y + y), want = frame[size_t(y) * kW + size_t(x)];
      if (To565(got) == To565(want)) continue;
      if (report && bad < 10) std::fprintf(stderr, "pixel %d,%d: screen %06X, headless %06X\n", x, y, got, want);
      bad++;
    }
  return bad;
}

PlatLResult Proc(PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) { return PlatDefWindowProc(w, m, wp, lp); }

}  // namespace

int main(int argc, char** argv) {
  const bool headless = argc == 3 && std::strcmp(argv[1], "headless") == 0;
  if (!headless && !(argc == 4 && std::strcmp(argv[1], "window") == 0)) {
    std::fprintf(stderr, "usage: d3dscene headless <frame> | window <frame> <screen>\n");
    return 1;
  }
  std::vector<uint32_t> frame;
  if (!headless) {
    std::FILE* f = std::fopen(argv[2], "r");
    unsigned v = 0;
    while (f && std::fscanf(f, "%x", &v) == 1) frame.push_back(v);
    if (f) std::fclose(f);
    if (frame.size() != size_t(kW) * kH) {
      std::fprintf(stderr, "no headless frame in %s\n", argv[2]);
      return 1;
    }
  }
  PlatWndClass wc{PLAT_CS_HREDRAW | PLAT_CS_VREDRAW, Proc, PLAT_CURSOR_ARROW, "KrD3DScene"};
  if (!PlatRegisterClass(&wc)) return 77;
  PlatWnd window = PlatCreateWindow(0, "KrD3DScene", "KrD3DScene", PLAT_WS_POPUP, 40, 40, kW, kH);
  if (!window) {
    std::fprintf(stderr, "no window: %s\n", PlatWindowUnavailableReason());
    return 77;
  }
  PlatShowWindow(window, PLAT_SW_SHOWNA);
  PlatDDraw dd = 0;
  PlatDDSurface primary = 0;
  PlatDDSurfaceDesc desc{};
  desc.size = sizeof desc;
  desc.flags = PLAT_DDSD_CAPS;
  desc.caps = PLAT_DDSCAPS_PRIMARYSURFACE;
  if (PlatDDrawCreate(&dd) != PLAT_DD_OK || PlatDDrawSetCooperativeLevel(dd, window, PLAT_DDSCL_NORMAL) != PLAT_DD_OK ||
      PlatDDrawCreateSurface(dd, &desc, &primary) != PLAT_DD_OK) {
    std::fprintf(stderr, "no primary\n");
    return 1;
  }
  PlatPoint origin{0, 0};
  PlatClientToScreen(window, &origin);
  if (Scene(dd, primary, origin)) return 1;

  int result = 0;
  if (headless) {
    std::vector<uint32_t> rgb(size_t(kW) * kH);
    std::FILE* f = std::fopen(argv[2], "w");
    if (!f || PlatDisplayReadRect({origin.x, origin.y, origin.x + kW, origin.y + kH}, rgb.data()) != 0) return 1;
    for (uint32_t v : rgb) std::fprintf(f, "0x%06X\n", v & 0xFFFFFF);
    std::fclose(f);
  } else {
    // The window may be mapped late: present until the screen shows the frame.
    long bad = -1;
    for (int i = 0; i < 100 && bad != 0; i++) {
      PlatMsg m;
      while (PlatPeekMessage(&m, 0, 0, 0, PLAT_PM_REMOVE)) PlatDispatchMessage(&m);
      PlatDisplayChanged();
      PlatSleep(100);
      if (i % 5 == 4) bad = Differences(frame, argv[3], origin, false);  // a read of the screen is slow
    }
    if (bad != 0) {
      Differences(frame, argv[3], origin, true);
      if (bad < 0) std::fprintf(stderr, "no screen to read in %s\n", argv[3]);
      else std::fprintf(stderr, "%ld pixels differ\n", bad);
      result = 1;
    }
  }
  PlatDDSurfaceRelease(primary);
  PlatDDrawRelease(dd);
  PlatDestroyWindow(window);
  return result;
}
