// The plain blit against SDL2's SDL_BlitSurface on the same work: a colour-keyed 32 x 32
// RGB565 sprite drawn 10,000 times, a 640 x 480 RGB565 copy, a 640 x 480 32-bit mix at
// one half (and at 100 / 256) and a 640 x 480 32-bit additive draw. The copies are also
// timed against memcpy of the same bytes, and the per-byte saturating (MMX) add against
// a plain SSE2 loop doing that add on the same bytes. Each case reports megapixels per
// second; the ratios (ours / theirs) are printed after the run.
#include "benchimages.h"
#include "engine/softimage/blit.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <emmintrin.h>

#include <cstring>

namespace {

// ---- Colour-keyed sprite ----

void BM_Ours_Sprite565Keyed(benchmark::State& state) {
  SpriteScene s;
  TimeSprites(state, kSprite, [&](int x, int y) {
    BlitMemImg(&s.screen.img, &s.sprite.img, x, y, 1, nullptr);
  });
}

void BM_SDL_Sprite565Keyed(benchmark::State& state) {
  SpriteScene s;
  TimeSprites(state, kSprite, [&](int x, int y) {
    SDL_Rect to = {x, y, kSprite, kSprite};
    SDL_BlitSurface(s.sprite.surface, nullptr, s.screen.surface, &to);
  });
}

// ---- Whole-screen draws ----

void Ours(benchmark::State& state, int kind, uint32_t (*pixel)(int), int mode, int param, int mmx) {
  SetBenchState(mode, param);
  SetBlitMmxUsable(mmx);
  uint32_t format = kind ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_RGB565;
  ImagePair src(kind, kScreenW, kScreenH, format, 0, pixel);
  ImagePair dst(kind, kScreenW, kScreenH, format, 0, pixel);
  for (auto _ : state) {
    BlitMemImg(&dst.img, &src.img, 0, 0, 0, nullptr);
    benchmark::DoNotOptimize(dst.img.pixels);
  }
  SetBlitMmxUsable(0);
  ReportPixels(state, double(kScreenW) * kScreenH);
}

void Sdl(benchmark::State& state, uint32_t format, uint32_t (*pixel)(int), SDL_BlendMode mode,
         int alphaMod) {
  int kind = format == SDL_PIXELFORMAT_RGB565 ? 0 : 1;
  ImagePair src(kind, kScreenW, kScreenH, format, 0, pixel);
  ImagePair dst(kind, kScreenW, kScreenH, format, 0, pixel);
  SDL_SetSurfaceBlendMode(src.surface, mode);
  SDL_SetSurfaceAlphaMod(src.surface, uint8_t(alphaMod));
  for (auto _ : state) {
    SDL_BlitSurface(src.surface, nullptr, dst.surface, nullptr);
    benchmark::DoNotOptimize(dst.surface->pixels);
  }
  ReportPixels(state, double(kScreenW) * kScreenH);
}

// The bytes of a whole 640 x 480 image of the kind, moved or added in one plain loop.
void Plain(benchmark::State& state, int kind, void (*work)(uint8_t*, const uint8_t*, size_t)) {
  uint32_t format = kind ? SDL_PIXELFORMAT_ARGB8888 : SDL_PIXELFORMAT_RGB565;
  ImagePair src(kind, kScreenW, kScreenH, format, 0, kind ? PixelArgb : Pixel565);
  ImagePair dst(kind, kScreenW, kScreenH, format, 0, kind ? PixelArgb : Pixel565);
  const size_t bytes = size_t(src.img.data->pitch) * kScreenH;
  for (auto _ : state) {
    work(dst.img.pixels, src.img.pixels, bytes);
    benchmark::DoNotOptimize(dst.img.pixels);
    benchmark::ClobberMemory();
  }
  ReportPixels(state, double(kScreenW) * kScreenH);
}
void MemcpyBytes(uint8_t* d, const uint8_t* s, size_t bytes) { std::memcpy(d, s, bytes); }
void Sse2AddSaturated(uint8_t* d, const uint8_t* s, size_t bytes) {
  for (size_t i = 0; i + 16 <= bytes; i += 16) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + i));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_adds_epu8(a, b));
  }
}

void BM_Ours_Copy565(benchmark::State& s) { Ours(s, 0, Pixel565, BLEND_COPY, 0, 0); }
void BM_Memcpy_Copy565(benchmark::State& s) { Plain(s, 0, MemcpyBytes); }
void BM_Ours_CopyArgb(benchmark::State& s) { Ours(s, 1, PixelArgb, BLEND_COPY, 0, 0); }
void BM_Memcpy_CopyArgb(benchmark::State& s) { Plain(s, 1, MemcpyBytes); }
void BM_SDL_Copy565(benchmark::State& s) {
  Sdl(s, SDL_PIXELFORMAT_RGB565, Pixel565, SDL_BLENDMODE_NONE, 255);
}
void BM_Ours_Mix128Argb(benchmark::State& s) { Ours(s, 1, PixelArgb, BLEND_MIX, 128, 0); }
void BM_SDL_Mix128Argb(benchmark::State& s) {
  Sdl(s, SDL_PIXELFORMAT_ARGB8888, PixelArgb, SDL_BLENDMODE_BLEND, 128);
}
// SDL's constant-alpha path (no per-pixel alpha in the source), for reference.
void BM_SDL_Mix128Xrgb(benchmark::State& s) {
  Sdl(s, SDL_PIXELFORMAT_RGB888, PixelArgb, SDL_BLENDMODE_BLEND, 128);
}
void BM_Ours_AddArgb(benchmark::State& s) { Ours(s, 1, PixelArgb, BLEND_ADD, 255, 0); }
void BM_Ours_AddArgbMmx(benchmark::State& s) { Ours(s, 1, PixelArgb, BLEND_ADD, 255, 1); }
void BM_Sse2_AddArgb(benchmark::State& s) { Plain(s, 1, Sse2AddSaturated); }
void BM_SDL_AddArgb(benchmark::State& s) {
  Sdl(s, SDL_PIXELFORMAT_ARGB8888, PixelArgb, SDL_BLENDMODE_ADD, 255);
}
// A mix at another parameter: ours per channel, SDL's constant-alpha path.
void BM_Ours_Mix100Argb(benchmark::State& s) { Ours(s, 1, PixelArgb, BLEND_MIX, 100, 0); }
void BM_SDL_Mix100Xrgb(benchmark::State& s) {
  Sdl(s, SDL_PIXELFORMAT_RGB888, PixelArgb, SDL_BLENDMODE_BLEND, 100);
}
// Ours alone, for scale: the 16-bit mix through the 6-bit table, and the 32-bit multiply
// then mix.
void BM_Ours_Mix100Rgb565(benchmark::State& s) { Ours(s, 0, Pixel565, BLEND_MIX, 100, 0); }
void BM_Ours_MulMix100Argb(benchmark::State& s) {
  Ours(s, 1, PixelArgb, BLEND_MULTIPLY_MIX, 100, 0);
}

BENCHMARK(BM_Ours_Sprite565Keyed)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_Sprite565Keyed)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_Copy565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_Copy565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy_Copy565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_CopyArgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Memcpy_CopyArgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_Mix128Argb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_Mix128Argb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_Mix128Xrgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_AddArgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_AddArgbMmx)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Sse2_AddArgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_AddArgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_Mix100Argb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_Mix100Xrgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_Mix100Rgb565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_MulMix100Argb)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_Ours_Sprite565Keyed", "BM_SDL_Sprite565Keyed"},
                        {"BM_Ours_Copy565", "BM_SDL_Copy565"},
                        {"BM_Ours_Copy565", "BM_Memcpy_Copy565"},
                        {"BM_Ours_CopyArgb", "BM_Memcpy_CopyArgb"},
                        {"BM_Ours_Mix128Argb", "BM_SDL_Mix128Argb"},
                        {"BM_Ours_Mix128Argb", "BM_SDL_Mix128Xrgb"},
                        {"BM_Ours_AddArgb", "BM_SDL_AddArgb"},
                        {"BM_Ours_AddArgbMmx", "BM_SDL_AddArgb"},
                        {"BM_Ours_AddArgbMmx", "BM_Sse2_AddArgb"},
                        {"BM_Ours_Mix100Argb", "BM_SDL_Mix100Xrgb"}});
}
