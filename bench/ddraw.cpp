// The DirectDraw-style surfaces against SDL2 on the same work: a colour-keyed 32 x 32
// RGB565 sprite drawn 10,000 times with BltFast (SDL_BlitSurface with a colour key), a
// 640 x 480 colour fill (SDL_FillRect), a 320 x 240 to 640 x 480 stretch
// (SDL_BlitScaled) and a 640 x 480 present, a Blt onto the primary plus its upload into
// the window (SDL_UpdateTexture, SDL_RenderCopy and SDL_RenderPresent), both on SDL's
// dummy video driver unless another is set. Megapixels per second and the ratios.
#include "bench/ratio.h"
#include "platform/ddraw/ddraw.h"
#include "platform/display/display.h"
#include "platform/window/window.h"

#include <SDL.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr int kSprite = 32, kSprites = 10000, kW = 640, kH = 480;

PlatDDPixelFormat Rgb565() {
  PlatDDPixelFormat f{};
  f.size = sizeof f;
  f.flags = PLAT_DDPF_RGB;
  f.bitCount = 16;
  f.rMask = 0xF800;
  f.gMask = 0x07E0;
  f.bMask = 0x001F;
  return f;
}

uint16_t SpritePixel(int x, int y) {
  const int dx = x - 16, dy = y - 16;
  return dx * dx + dy * dy < 200 ? uint16_t(0x07E0 + x * 33 + y) : uint16_t(0xF81F);  // a disc on magenta
}

// An object with system-memory surfaces of RGB565.
struct Ours {
  PlatDDraw dd = 0;
  Ours() { PlatDDrawCreate(&dd); }
  ~Ours() { PlatDDrawRelease(dd); }
  PlatDDSurface Make(int w, int h, uint16_t (*pixel)(int, int)) {
    PlatDDSurfaceDesc d{};
    d.size = sizeof d;
    d.flags = PLAT_DDSD_CAPS | PLAT_DDSD_WIDTH | PLAT_DDSD_HEIGHT | PLAT_DDSD_PIXELFORMAT;
    d.caps = PLAT_DDSCAPS_OFFSCREENPLAIN | PLAT_DDSCAPS_SYSTEMMEMORY;
    d.width = uint32_t(w);
    d.height = uint32_t(h);
    d.pixelFormat = Rgb565();
    PlatDDSurface s = 0;
    PlatDDrawCreateSurface(dd, &d, &s);
    if (pixel && PlatDDSurfaceLock(s, nullptr, &d, 0) == PLAT_DD_OK) {
      for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(d.surface) + y * d.pitch)[x] = pixel(x, y);
      PlatDDSurfaceUnlock(s, nullptr);
    }
    return s;
  }
};

SDL_Surface* SdlSurface(int w, int h, uint16_t (*pixel)(int, int)) {
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, w, h, 16, SDL_PIXELFORMAT_RGB565);
  if (pixel)
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(s->pixels) + y * s->pitch)[x] = pixel(x, y);
  return s;
}

uint16_t Gradient(int x, int y) { return uint16_t(x * 64 + y); }

// Sprite positions spread over the screen, the same for both.
template <typename Draw>
void Sprites(benchmark::State& state, Draw draw) {
  for (auto _ : state)
    for (int i = 0; i < kSprites; i++) draw((i * 37) % (kW - kSprite), (i * 91) % (kH - kSprite));
  ReportPixels(state, double(kSprite) * kSprite * kSprites);
}

void BM_Ours_BltFastKeyedSprite565(benchmark::State& state) {
  Ours o;
  PlatDDSurface screen = o.Make(kW, kH, nullptr), sprite = o.Make(kSprite, kSprite, SpritePixel);
  const PlatDDColorKey key{0xF81F, 0xF81F};
  PlatDDSurfaceSetColorKey(sprite, PLAT_DDCKEY_SRCBLT, &key);
  Sprites(state, [&](int x, int y) { PlatDDSurfaceBltFast(screen, x, y, sprite, nullptr, PLAT_DDBLTFAST_SRCCOLORKEY); });
}

void BM_SDL_BlitSurfaceKeyedSprite565(benchmark::State& state) {
  SDL_Surface *screen = SdlSurface(kW, kH, nullptr), *sprite = SdlSurface(kSprite, kSprite, SpritePixel);
  SDL_SetColorKey(sprite, SDL_TRUE, 0xF81F);
  Sprites(state, [&](int x, int y) {
    SDL_Rect to{x, y, kSprite, kSprite};
    SDL_BlitSurface(sprite, nullptr, screen, &to);
  });
  SDL_FreeSurface(sprite);
  SDL_FreeSurface(screen);
}

void BM_Ours_ColorFill640x480(benchmark::State& state) {
  Ours o;
  PlatDDSurface screen = o.Make(kW, kH, nullptr);
  PlatDDBltFx fx{sizeof fx, 0, 0};
  for (auto _ : state) {
    fx.fillColor++;
    PlatDDSurfaceBlt(screen, nullptr, 0, nullptr, PLAT_DDBLT_COLORFILL, &fx);
  }
  ReportPixels(state, double(kW) * kH);
}

void BM_SDL_FillRect640x480(benchmark::State& state) {
  SDL_Surface* screen = SdlSurface(kW, kH, nullptr);
  uint32_t colour = 0;
  for (auto _ : state) SDL_FillRect(screen, nullptr, ++colour & 0xFFFF);
  ReportPixels(state, double(kW) * kH);
  SDL_FreeSurface(screen);
}

void BM_Ours_Stretch320x240To640x480(benchmark::State& state) {
  Ours o;
  PlatDDSurface screen = o.Make(kW, kH, nullptr), small = o.Make(320, 240, Gradient);
  for (auto _ : state) PlatDDSurfaceBlt(screen, nullptr, small, nullptr, PLAT_DDBLT_WAIT, nullptr);
  ReportPixels(state, double(kW) * kH);
}

void BM_SDL_BlitScaled320x240To640x480(benchmark::State& state) {
  SDL_Surface *screen = SdlSurface(kW, kH, nullptr), *small = SdlSurface(320, 240, Gradient);
  for (auto _ : state) SDL_BlitScaled(small, nullptr, screen, nullptr);
  ReportPixels(state, double(kW) * kH);
  SDL_FreeSurface(small);
  SDL_FreeSurface(screen);
}

PlatLResult Proc(PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) { return PlatDefWindowProc(w, m, wp, lp); }

void BM_Ours_Present640x480(benchmark::State& state) {
  PlatWndClass wc{0, Proc, PLAT_CURSOR_ARROW, "BenchDDraw"};
  PlatRegisterClass(&wc);
  PlatWnd window = PlatCreateWindow(0, "BenchDDraw", "bench", PLAT_WS_POPUP, 0, 0, kW, kH);
  PlatShowWindow(window, PLAT_SW_SHOW);
  PlatDDraw dd = 0;
  PlatDDrawCreate(&dd);
  PlatDDrawSetCooperativeLevel(dd, window, PLAT_DDSCL_NORMAL);
  PlatDDSurfaceDesc d{};
  d.size = sizeof d;
  d.flags = PLAT_DDSD_CAPS;
  d.caps = PLAT_DDSCAPS_PRIMARYSURFACE;
  PlatDDSurface primary = 0, back = 0;
  PlatDDrawCreateSurface(dd, &d, &primary);
  d.flags = PLAT_DDSD_CAPS | PLAT_DDSD_WIDTH | PLAT_DDSD_HEIGHT;
  d.caps = PLAT_DDSCAPS_OFFSCREENPLAIN;
  d.width = kW;
  d.height = kH;
  PlatDDrawCreateSurface(dd, &d, &back);
  const uint32_t before = PlatDisplayUploadCount();
  PlatRect client{0, 0, kW, kH};
  PlatPoint origin{0, 0};
  PlatClientToScreen(window, &origin);
  client = {origin.x, origin.y, origin.x + kW, origin.y + kH};
  for (auto _ : state) PlatDDSurfaceBlt(primary, &client, back, nullptr, PLAT_DDBLT_WAIT, nullptr);
  if (PlatDisplayUploadCount() == before) state.SkipWithError("nothing was uploaded");
  ReportPixels(state, double(kW) * kH);
  PlatDDrawRelease(dd);
  PlatDestroyWindow(window);
}

void BM_SDL_Present640x480(benchmark::State& state) {
  SDL_Window* window = SDL_CreateWindow("bench", 0, 0, kW, kH, 0);
  SDL_Renderer* renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
  SDL_Texture* texture =
      renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, kW, kH) : nullptr;
  if (!texture) {
    state.SkipWithError("no SDL renderer");
    return;
  }
  std::vector<uint32_t> pixels(size_t(kW) * kH, 0x336699);
  for (auto _ : state) {
    SDL_UpdateTexture(texture, nullptr, pixels.data(), kW * 4);
    SDL_RenderCopy(renderer, texture, nullptr, nullptr);
    SDL_RenderPresent(renderer);
  }
  ReportPixels(state, double(kW) * kH);
  SDL_DestroyTexture(texture);
  SDL_DestroyRenderer(renderer);
  SDL_DestroyWindow(window);
}

BENCHMARK(BM_Ours_BltFastKeyedSprite565);
BENCHMARK(BM_SDL_BlitSurfaceKeyedSprite565);
BENCHMARK(BM_Ours_ColorFill640x480);
BENCHMARK(BM_SDL_FillRect640x480);
BENCHMARK(BM_Ours_Stretch320x240To640x480);
BENCHMARK(BM_SDL_BlitScaled320x240To640x480);
BENCHMARK(BM_Ours_Present640x480);
BENCHMARK(BM_SDL_Present640x480);

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_VIDEODRIVER", "dummy", 0);
  setenv("KR_PLATFORM", "sdl", 0);
  SDL_Init(SDL_INIT_VIDEO);
  const int result = RunWithRatios(argc, argv,
                                   {{"BM_Ours_BltFastKeyedSprite565", "BM_SDL_BlitSurfaceKeyedSprite565"},
                                    {"BM_Ours_ColorFill640x480", "BM_SDL_FillRect640x480"},
                                    {"BM_Ours_Stretch320x240To640x480", "BM_SDL_BlitScaled320x240To640x480"},
                                    {"BM_Ours_Present640x480", "BM_SDL_Present640x480"}});
  SDL_Quit();
  return result;
}
