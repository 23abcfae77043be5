// The soft Direct3D-style device against SDL2's software renderer (SDL_RenderGeometry on
// SDL_CreateSoftwareRenderer) on the same work, over a 640 x 480 target in RGB565 and in
// XRGB8888: 10,000 textured 32 x 32 quads from a 256 x 256 RGB565 texture in copy mode,
// mixed at alpha 128, and additive; and one 256 x 256 quad turned 30 degrees, for fill
// rate. Ours also with linear filtering, which SDL has no like of here. Triangles and
// megapixels per second, and the ratios.
#include "bench/ratio.h"
#include "platform/d3d/d3d.h"
#include "platform/ddraw/ddraw.h"

#include <SDL.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kW = 640, kH = 480, kQuad = 32, kQuads = 10000, kTex = 256, kBatch = 390;

enum Mode { COPY, MIX, ADD };
enum Shape { SPRITES, TURNED };

PlatDDPixelFormat Rgb(uint32_t bits) {
  PlatDDPixelFormat f{};
  f.size = sizeof f;
  f.flags = PLAT_DDPF_RGB;
  f.bitCount = bits;
  f.rMask = bits == 16 ? 0xF800 : 0xFF0000;
  f.gMask = bits == 16 ? 0x07E0 : 0xFF00;
  f.bMask = bits == 16 ? 0x001F : 0xFF;
  return f;
}

uint16_t TexturePixel(int x, int y) { return uint16_t((x * 0x21 + y * 0x801) ^ (x * y)); }

// A quad's corners in the order top-left, top-right, bottom-left, bottom-right, with
// texture coordinates.
struct Corner {
  float x, y, u, v;
};

// The quads of the case, the same for both.
std::vector<Corner> Corners(Shape shape) {
  std::vector<Corner> c;
  if (shape == SPRITES) {
    for (int i = 0; i < kQuads; i++) {
      const float x = float((i * 37) % (kW - kQuad)), y = float((i * 91) % (kH - kQuad));
      const float u = float((i * 13) % (kTex - kQuad)) / kTex, v = float((i * 29) % (kTex - kQuad)) / kTex;
      const float s = float(kQuad) / kTex;
      c.insert(c.end(), {{x, y, u, v}, {x + kQuad, y, u + s, v}, {x, y + kQuad, u, v + s},
                         {x + kQuad, y + kQuad, u + s, v + s}});
    }
  } else {
    const float a = float(M_PI / 6), cx = kW / 2.0f, cy = kH / 2.0f, h = kTex / 2.0f;
    auto at = [&](float dx, float dy, float u, float v) {
      return Corner{cx + dx * std::cos(a) - dy * std::sin(a), cy + dx * std::sin(a) + dy * std::cos(a), u, v};
    };
    c = {at(-h, -h, 0, 0), at(h, -h, 1, 0), at(-h, h, 0, 1), at(h, h, 1, 1)};
  }
  return c;
}

double Pixels(Shape shape) { return shape == SPRITES ? double(kQuad) * kQuad * kQuads : double(kTex) * kTex; }
double Triangles(Shape shape) { return shape == SPRITES ? 2.0 * kQuads : 2.0; }

void Report(benchmark::State& state, Shape shape) {
  ReportPixels(state, Pixels(shape));
  state.counters["Tri/s"] = benchmark::Counter(double(state.iterations()) * Triangles(shape),
                                               benchmark::Counter::kIsRate);
}

void Ours(benchmark::State& state, uint32_t bits, Mode mode, Shape shape, bool linear) {
  PlatDDraw dd = 0;
  PlatDDrawCreate(&dd);
  auto make = [&](uint32_t caps, int w, int h, const PlatDDPixelFormat& f) {
    PlatDDSurfaceDesc d{};
    d.size = sizeof d;
    d.flags = PLAT_DDSD_CAPS | PLAT_DDSD_WIDTH | PLAT_DDSD_HEIGHT | PLAT_DDSD_PIXELFORMAT;
    d.caps = caps | PLAT_DDSCAPS_SYSTEMMEMORY;
    d.width = uint32_t(w);
    d.height = uint32_t(h);
    d.pixelFormat = f;
    PlatDDSurface s = 0;
    PlatDDrawCreateSurface(dd, &d, &s);
    return s;
  };
  PlatDDSurface target = make(PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_3DDEVICE, kW, kH, Rgb(bits));
  PlatDDSurface texture = make(PLAT_DDSCAPS_TEXTURE, kTex, kTex, Rgb(16));
  PlatDDSurfaceDesc d{};
  d.size = sizeof d;
  if (PlatDDSurfaceLock(texture, nullptr, &d, 0) == PLAT_DD_OK) {
    for (int y = 0; y < kTex; y++)
      for (int x = 0; x < kTex; x++)
        reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(d.surface) + y * d.pitch)[x] = TexturePixel(x, y);
    PlatDDSurfaceUnlock(texture, nullptr);
  }
  PlatD3D d3d = 0;
  PlatD3DDevice dev = 0;
  if (PlatDDrawQueryDirect3D(dd, &d3d) != PLAT_D3D_OK ||
      PlatD3DCreateDevice(d3d, PLAT_D3DDEVTYPE_HAL, target, &dev) != PLAT_D3D_OK) {
    state.SkipWithError("no device");
    return;
  }
  // The engine's recipe for a plain texture: the texel's colour, the vertex's alpha.
  PlatD3DDeviceSetRenderState(dev, PLAT_D3DRS_CULLMODE, PLAT_D3DCULL_NONE);
  PlatD3DDeviceSetRenderState(dev, PLAT_D3DRS_SHADEMODE, PLAT_D3DSHADE_FLAT);
  PlatD3DDeviceSetTextureStageState(dev, 0, PLAT_D3DTSS_COLOROP, PLAT_D3DTOP_SELECTARG1);
  PlatD3DDeviceSetTextureStageState(dev, 0, PLAT_D3DTSS_COLORARG1, PLAT_D3DTA_TEXTURE);
  PlatD3DDeviceSetTextureStageState(dev, 0, PLAT_D3DTSS_ALPHAOP, PLAT_D3DTOP_SELECTARG2);
  PlatD3DDeviceSetTextureStageState(dev, 0, PLAT_D3DTSS_ALPHAARG2, PLAT_D3DTA_DIFFUSE);
  PlatD3DDeviceSetTextureStageState(dev, 0, PLAT_D3DTSS_ADDRESS, PLAT_D3DTADDRESS_CLAMP);
  PlatD3DDeviceSetTextureStageState(dev, 0, PLAT_D3DTSS_MAGFILTER, linear ? PLAT_D3DTFG_LINEAR : PLAT_D3DTFG_POINT);
  PlatD3DDeviceSetTextureStageState(dev, 0, PLAT_D3DTSS_MINFILTER, linear ? PLAT_D3DTFN_LINEAR : PLAT_D3DTFN_POINT);
  PlatD3DDeviceSetTexture(dev, 0, texture);
  PlatD3DDeviceSetRenderState(dev, PLAT_D3DRS_ALPHABLENDENABLE, mode != COPY);
  PlatD3DDeviceSetRenderState(dev, PLAT_D3DRS_SRCBLEND, PLAT_D3DBLEND_SRCALPHA);
  PlatD3DDeviceSetRenderState(dev, PLAT_D3DRS_DESTBLEND, mode == ADD ? PLAT_D3DBLEND_ONE : PLAT_D3DBLEND_INVSRCALPHA);
  const uint32_t diffuse = mode == MIX ? 0x80FFFFFFu : 0xFFFFFFFFu;
  // Corners shifted by half a pixel, as the engine's draws give them.
  std::vector<PlatD3DTexturedVertex> v;
  const std::vector<Corner> c = Corners(shape);
  for (size_t q = 0; q < c.size(); q += 4) {
    PlatD3DTexturedVertex k[4];
    for (int i = 0; i < 4; i++) k[i] = {c[q + i].x - 0.5f, c[q + i].y - 0.5f, 0, 1, diffuse, c[q + i].u, c[q + i].v};
    v.insert(v.end(), {k[0], k[1], k[2], k[1], k[3], k[2]});
  }
  for (auto _ : state) {
    PlatD3DDeviceBeginScene(dev);
    for (size_t at = 0; at < v.size(); at += 6 * kBatch) {
      const uint32_t n = uint32_t(std::min<size_t>(6 * kBatch, v.size() - at));
      PlatD3DDeviceDrawPrimitive(dev, PLAT_D3DPT_TRIANGLELIST, PLAT_D3DFVF_TEXTUREDVERTEX, &v[at], n, 0);
    }
    PlatD3DDeviceEndScene(dev);
  }
  Report(state, shape);
  PlatD3DDeviceRelease(dev);
  PlatD3DRelease(d3d);
  PlatDDSurfaceRelease(texture);
  PlatDDSurfaceRelease(target);
  PlatDDrawRelease(dd);
}

void Theirs(benchmark::State& state, uint32_t bits, Mode mode, Shape shape) {
  SDL_Surface* target =
      SDL_CreateRGBSurfaceWithFormat(0, kW, kH, int(bits), bits == 16 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_XRGB8888);
  SDL_Renderer* r = SDL_CreateSoftwareRenderer(target);
  SDL_Surface* image = SDL_CreateRGBSurfaceWithFormat(0, kTex, kTex, 16, SDL_PIXELFORMAT_RGB565);
  for (int y = 0; y < kTex; y++)
    for (int x = 0; x < kTex; x++)
      reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(image->pixels) + y * image->pitch)[x] = TexturePixel(x, y);
  SDL_Texture* texture = SDL_CreateTextureFromSurface(r, image);
  if (!r || !texture) {
    state.SkipWithError(SDL_GetError());
    return;
  }
  SDL_SetTextureScaleMode(texture, SDL_ScaleModeNearest);
  SDL_SetTextureBlendMode(texture, mode == COPY ? SDL_BLENDMODE_NONE : mode == MIX ? SDL_BLENDMODE_BLEND : SDL_BLENDMODE_ADD);
  const Uint8 alpha = mode == MIX ? 128 : 255;
  std::vector<SDL_Vertex> v;
  const std::vector<Corner> c = Corners(shape);
  for (size_t q = 0; q < c.size(); q += 4) {
    SDL_Vertex k[4];
    for (int i = 0; i < 4; i++) k[i] = {{c[q + i].x, c[q + i].y}, {255, 255, 255, alpha}, {c[q + i].u, c[q + i].v}};
    v.insert(v.end(), {k[0], k[1], k[2], k[1], k[3], k[2]});
  }
  for (auto _ : state) {
    for (size_t at = 0; at < v.size(); at += 6 * kBatch) {
      const int n = int(std::min<size_t>(6 * kBatch, v.size() - at));
      SDL_RenderGeometry(r, texture, &v[at], n, nullptr, 0);
    }
    SDL_RenderFlush(r);
  }
  Report(state, shape);
  SDL_DestroyTexture(texture);
  SDL_FreeSurface(image);
  SDL_DestroyRenderer(r);
  SDL_FreeSurface(target);
}

#define CASES(bits)                                                                                          \
  void BM_Ours_Copy##bits(benchmark::State& s) { Ours(s, bits, COPY, SPRITES, false); }                      \
  void BM_SDL_Copy##bits(benchmark::State& s) { Theirs(s, bits, COPY, SPRITES); }                             \
  void BM_Ours_Mix##bits(benchmark::State& s) { Ours(s, bits, MIX, SPRITES, false); }                        \
  void BM_SDL_Mix##bits(benchmark::State& s) { Theirs(s, bits, MIX, SPRITES); }                               \
  void BM_Ours_Add##bits(benchmark::State& s) { Ours(s, bits, ADD, SPRITES, false); }                        \
  void BM_SDL_Add##bits(benchmark::State& s) { Theirs(s, bits, ADD, SPRITES); }                               \
  void BM_Ours_Turned##bits(benchmark::State& s) { Ours(s, bits, COPY, TURNED, false); }                     \
  void BM_SDL_Turned##bits(benchmark::State& s) { Theirs(s, bits, COPY, TURNED); }                            \
  void BM_Ours_CopyLinear##bits(benchmark::State& s) { Ours(s, bits, COPY, SPRITES, true); }                 \
  BENCHMARK(BM_Ours_Copy##bits);                                                                             \
  BENCHMARK(BM_SDL_Copy##bits);                                                                              \
  BENCHMARK(BM_Ours_Mix##bits);                                                                              \
  BENCHMARK(BM_SDL_Mix##bits);                                                                               \
  BENCHMARK(BM_Ours_Add##bits);                                                                              \
  BENCHMARK(BM_SDL_Add##bits);                                                                               \
  BENCHMARK(BM_Ours_Turned##bits);                                                                           \
  BENCHMARK(BM_SDL_Turned##bits);                                                                            \
  BENCHMARK(BM_Ours_CopyLinear##bits);

CASES(16)
CASES(32)

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("KR_PLATFORM", "headless", 0);
  SDL_Init(SDL_INIT_VIDEO);
  const int result = RunWithRatios(argc, argv,
                                   {{"BM_Ours_Copy16", "BM_SDL_Copy16"},
                                    {"BM_Ours_Mix16", "BM_SDL_Mix16"},
                                    {"BM_Ours_Add16", "BM_SDL_Add16"},
                                    {"BM_Ours_Turned16", "BM_SDL_Turned16"},
                                    {"BM_Ours_Copy32", "BM_SDL_Copy32"},
                                    {"BM_Ours_Mix32", "BM_SDL_Mix32"},
                                    {"BM_Ours_Add32", "BM_SDL_Add32"},
                                    {"BM_Ours_Turned32", "BM_SDL_Turned32"}});
  SDL_Quit();
  return result;
}
