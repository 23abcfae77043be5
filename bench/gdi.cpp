// The GDI-like layer against SDL2 on the same work, on the headless display's 32-bit
// store: a 640 x 480 5:6:5 DIB drawn on a 640 x 480 window with SetDIBitsToDevice
// against SDL_ConvertPixels into XRGB8888 plus SDL_UpdateTexture of a streaming texture
// (software renderer), and a 320 x 240 5:6:5 DIB stretched to 640 x 480 on the window
// with StretchDIBits against SDL_BlitScaled from an RGB565 surface onto an XRGB8888 one.
// Each case reports destination megapixels per second; the ratios (ours / SDL) are
// printed after the run.
#include "bench/ratio.h"
#include "platform/gdi/gdi.h"
#include "platform/window/window.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr int kW = 640, kH = 480;

std::vector<uint16_t> Picture565(int w, int h) {
  std::vector<uint16_t> p(size_t(w) * size_t(h));
  for (size_t i = 0; i < p.size(); i++) p[i] = uint16_t(i * 2654435761u >> 7);
  return p;
}

PlatBitmapInfo Info565(int w, int h) {
  PlatBitmapInfo info{};
  info.header = {40, w, -h, 1, 16, PLAT_BI_BITFIELDS, 0, 0, 0, 0, 0};
  info.colors[0] = 0xF800;
  info.colors[1] = 0x07E0;
  info.colors[2] = 0x001F;
  return info;
}

PlatLResult Proc(PlatWnd w, uint32_t m, PlatWParam wp, PlatLParam lp) { return PlatDefWindowProc(w, m, wp, lp); }

// A headless 640 x 480 window and its device context.
struct Window {
  PlatWnd window = 0;
  PlatDC dc = 0;
  Window() {
    PlatWindowSelectBackend("headless");
    PlatWndClass wc{0, Proc, PLAT_CURSOR_ARROW, "BenchGdi"};
    PlatRegisterClass(&wc);
    window = PlatCreateWindow(0, "BenchGdi", "bench", PLAT_WS_POPUP, 0, 0, kW, kH);
    PlatShowWindow(window, PLAT_SW_SHOWNA);
    dc = PlatGdiGetDC(window);
  }
  ~Window() {
    PlatGdiReleaseDC(window, dc);
    PlatDestroyWindow(window);
    PlatUnregisterClass("BenchGdi");
  }
};

void BM_Ours_SetDIBits565To32(benchmark::State& state) {
  Window w;
  const std::vector<uint16_t> pixels = Picture565(kW, kH);
  const PlatBitmapInfo info = Info565(kW, kH);
  for (auto _ : state) {
    if (!PlatGdiSetDIBitsToDevice(w.dc, 0, 0, kW, kH, 0, 0, 0, kH, pixels.data(), pixels.size() * 2, &info, 0))
      state.SkipWithError("refused");
  }
  ReportPixels(state, double(kW) * kH);
}

struct Sdl {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  Sdl() {
    setenv("SDL_VIDEODRIVER", "dummy", 0);
    SDL_Init(SDL_INIT_VIDEO);
    window = SDL_CreateWindow("bench", 0, 0, kW, kH, SDL_WINDOW_HIDDEN);
    renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE) : nullptr;
  }
  ~Sdl() {
    if (renderer) SDL_DestroyRenderer(renderer);
    if (window) SDL_DestroyWindow(window);
    SDL_Quit();
  }
};

void BM_SDL_ConvertAndUpdateTexture(benchmark::State& state) {
  Sdl sdl;
  SDL_Texture* texture = sdl.renderer ? SDL_CreateTexture(sdl.renderer, SDL_PIXELFORMAT_RGB888,
                                                          SDL_TEXTUREACCESS_STREAMING, kW, kH)
                                      : nullptr;
  if (!texture) {
    state.SkipWithError("no SDL texture");
    return;
  }
  const std::vector<uint16_t> pixels = Picture565(kW, kH);
  std::vector<uint32_t> converted(size_t(kW) * kH);
  for (auto _ : state) {
    SDL_ConvertPixels(kW, kH, SDL_PIXELFORMAT_RGB565, pixels.data(), kW * 2, SDL_PIXELFORMAT_RGB888,
                      converted.data(), kW * 4);
    SDL_UpdateTexture(texture, nullptr, converted.data(), kW * 4);
  }
  SDL_DestroyTexture(texture);
  ReportPixels(state, double(kW) * kH);
}

void BM_Ours_StretchDIBits565Up(benchmark::State& state) {
  Window w;
  const std::vector<uint16_t> pixels = Picture565(kW / 2, kH / 2);
  const PlatBitmapInfo info = Info565(kW / 2, kH / 2);
  for (auto _ : state) {
    if (!PlatGdiStretchDIBits(w.dc, 0, 0, kW, kH, 0, 0, kW / 2, kH / 2, pixels.data(), pixels.size() * 2, &info, 0,
                              PLAT_SRCCOPY))
      state.SkipWithError("refused");
  }
  ReportPixels(state, double(kW) * kH);
}

void BM_SDL_BlitScaled565Up(benchmark::State& state) {
  std::vector<uint16_t> pixels = Picture565(kW / 2, kH / 2);
  SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), kW / 2, kH / 2, 16, kW, SDL_PIXELFORMAT_RGB565);
  SDL_Surface* dst = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 32, SDL_PIXELFORMAT_RGB888);
  for (auto _ : state) {
    SDL_Rect to = {0, 0, kW, kH};
    SDL_BlitScaled(src, nullptr, dst, &to);
    benchmark::DoNotOptimize(dst->pixels);
  }
  SDL_FreeSurface(src);
  SDL_FreeSurface(dst);
  ReportPixels(state, double(kW) * kH);
}

BENCHMARK(BM_Ours_SetDIBits565To32);
BENCHMARK(BM_SDL_ConvertAndUpdateTexture);
BENCHMARK(BM_Ours_StretchDIBits565Up);
BENCHMARK(BM_SDL_BlitScaled565Up);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_Ours_SetDIBits565To32", "BM_SDL_ConvertAndUpdateTexture"},
                        {"BM_Ours_StretchDIBits565Up", "BM_SDL_BlitScaled565Up"}});
}
