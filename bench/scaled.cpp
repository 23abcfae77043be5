// The scaled blit against SDL2's SDL_BlitScaled on the same work: a 320 x 240 RGB565
// copy stretched to 640 x 480, a 640 x 480 XRGB8888 copy shrunk to 200 x 150, a
// colour-keyed 32 x 32 RGB565 sprite stretched to 48 x 48 10,000 times, and a 32-bit mix
// at one half (ARGB8888 with alpha mod 128 on SDL's side) stretched 320 x 240 to
// 640 x 480. Each case reports destination megapixels per second; the ratios (ours / SDL)
// are printed after the run.
#include "benchimages.h"
#include "engine/softimage/scaledblit.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

namespace {

constexpr int kSpriteTo = 48;

// ---- One source stretched or shrunk onto the screen ----

struct Work {
  int kind;
  uint32_t format;
  uint32_t (*pixel)(int);
  int srcW, srcH, toW, toH;
};
const Work kUp565 = {0, SDL_PIXELFORMAT_RGB565, Pixel565, 320, 240, kScreenW, kScreenH};
const Work kDownXrgb = {1, SDL_PIXELFORMAT_RGB888, PixelArgb, kScreenW, kScreenH, 200, 150};
const Work kUpArgb = {1, SDL_PIXELFORMAT_ARGB8888, PixelArgb, 320, 240, kScreenW, kScreenH};

void Ours(benchmark::State& state, const Work& w, int mode, int param) {
  SetBenchState(mode, param);
  ImagePair src(w.kind, w.srcW, w.srcH, w.format, 0, w.pixel);
  ImagePair dst(w.kind, kScreenW, kScreenH, w.format, 0, w.pixel);
  const Rect to = {0, 0, w.toW, w.toH};
  for (auto _ : state) {
    BlitMemImgScaled(&dst.img, &src.img, &to, 0, nullptr);
    benchmark::DoNotOptimize(dst.img.pixels);
  }
  ReportPixels(state, double(w.toW) * w.toH);
}

void Sdl(benchmark::State& state, const Work& w, SDL_BlendMode mode, int alphaMod) {
  ImagePair src(w.kind, w.srcW, w.srcH, w.format, 0, w.pixel);
  ImagePair dst(w.kind, kScreenW, kScreenH, w.format, 0, w.pixel);
  SDL_SetSurfaceBlendMode(src.surface, mode);
  SDL_SetSurfaceAlphaMod(src.surface, uint8_t(alphaMod));
  for (auto _ : state) {
    SDL_Rect to = {0, 0, w.toW, w.toH};
    SDL_BlitScaled(src.surface, nullptr, dst.surface, &to);
    benchmark::DoNotOptimize(dst.surface->pixels);
  }
  ReportPixels(state, double(w.toW) * w.toH);
}

void BM_Ours_Up565Copy(benchmark::State& s) { Ours(s, kUp565, BLEND_COPY, 0); }
void BM_SDL_Up565Copy(benchmark::State& s) { Sdl(s, kUp565, SDL_BLENDMODE_NONE, 255); }
void BM_Ours_DownXrgbCopy(benchmark::State& s) { Ours(s, kDownXrgb, BLEND_COPY, 0); }
void BM_SDL_DownXrgbCopy(benchmark::State& s) { Sdl(s, kDownXrgb, SDL_BLENDMODE_NONE, 255); }
void BM_Ours_UpArgbMix128(benchmark::State& s) { Ours(s, kUpArgb, BLEND_MIX, 128); }
void BM_SDL_UpArgbMix128(benchmark::State& s) { Sdl(s, kUpArgb, SDL_BLENDMODE_BLEND, 128); }

// ---- Colour-keyed sprite ----

void BM_Ours_Sprite565Keyed(benchmark::State& state) {
  SpriteScene s;
  TimeSprites(state, kSpriteTo, [&](int x, int y) {
    const Rect to = {x, y, x + kSpriteTo, y + kSpriteTo};
    BlitMemImgScaled(&s.screen.img, &s.sprite.img, &to, 1, nullptr);
  });
}

void BM_SDL_Sprite565Keyed(benchmark::State& state) {
  SpriteScene s;
  TimeSprites(state, kSpriteTo, [&](int x, int y) {
    SDL_Rect to = {x, y, kSpriteTo, kSpriteTo};
    SDL_BlitScaled(s.sprite.surface, nullptr, s.screen.surface, &to);
  });
}

BENCHMARK(BM_Ours_Up565Copy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_Up565Copy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_DownXrgbCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_DownXrgbCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_Sprite565Keyed)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_Sprite565Keyed)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_UpArgbMix128)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_UpArgbMix128)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_Ours_Up565Copy", "BM_SDL_Up565Copy"},
                        {"BM_Ours_DownXrgbCopy", "BM_SDL_DownXrgbCopy"},
                        {"BM_Ours_Sprite565Keyed", "BM_SDL_Sprite565Keyed"},
                        {"BM_Ours_UpArgbMix128", "BM_SDL_UpArgbMix128"}});
}
