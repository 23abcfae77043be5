// The filled box against SDL2's SDL_FillRect on the same work: a 640 x 480 fill in RGB565
// and in 32-bit colour, and 10,000 boxes of 32 x 32 at scattered places in RGB565. Our
// blended boxes and lines are timed too, for scale (SDL has no blended fill on surfaces).
// Each case reports megapixels per second; the ratios (ours / SDL) are printed at the end.
#include "benchimages.h"
#include "engine/softimage/boxline.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kBox = 32, kBoxDraws = 10000, kLines = 1000;

int BoxX(int i) { return int(Noise(i) % (kScreenW - kBox)); }
int BoxY(int i) { return int(Noise(i + 99991) % (kScreenH - kBox)); }

struct Screen {
  MEMIMG img{};
  explicit Screen(int kind) {
    CreateMemImg(&img, kScreenW, kScreenH, -1, 0, kind, 0, 0, 0, nullptr);
    ClearMemImgRect(&img, nullptr, 0);
  }
  ~Screen() { ReleaseMemImg(&img); }
};

struct SdlScreen {
  SDL_Surface* surface;
  explicit SdlScreen(uint32_t format)
      : surface(SDL_CreateRGBSurfaceWithFormat(0, kScreenW, kScreenH,
                                               format == SDL_PIXELFORMAT_RGB565 ? 16 : 32,
                                               format)) {}
  ~SdlScreen() { SDL_FreeSurface(surface); }
};

// ---- Whole screen ----

void OursScreen(benchmark::State& state, int kind, int mode, int param) {
  SetBenchState(mode, param);
  Screen screen(kind);
  const uint32_t colour = kind ? 0x00336699 : 0x3333;
  for (auto _ : state) {
    FillMemImgBox(&screen.img, nullptr, colour);
    benchmark::DoNotOptimize(screen.img.pixels);
  }
  ReportPixels(state, double(kScreenW) * kScreenH);
}

void SdlScreenFill(benchmark::State& state, uint32_t format) {
  SdlScreen screen(format);
  const uint32_t colour = format == SDL_PIXELFORMAT_RGB565 ? 0x3333 : 0x00336699;
  for (auto _ : state) {
    SDL_FillRect(screen.surface, nullptr, colour);
    benchmark::DoNotOptimize(screen.surface->pixels);
  }
  ReportPixels(state, double(kScreenW) * kScreenH);
}

void BM_Ours_Fill565(benchmark::State& s) { OursScreen(s, 0, BLEND_COPY, 0); }
void BM_SDL_Fill565(benchmark::State& s) { SdlScreenFill(s, SDL_PIXELFORMAT_RGB565); }
void BM_Ours_FillXrgb(benchmark::State& s) { OursScreen(s, 1, BLEND_COPY, 0); }
void BM_SDL_FillXrgb(benchmark::State& s) { SdlScreenFill(s, SDL_PIXELFORMAT_RGB888); }
// Ours alone: blended fills.
void BM_Ours_Mix100Xrgb(benchmark::State& s) { OursScreen(s, 1, BLEND_MIX, 100); }
void BM_Ours_Mix100Rgb565(benchmark::State& s) { OursScreen(s, 0, BLEND_MIX, 100); }
void BM_Ours_Add128Xrgb(benchmark::State& s) { OursScreen(s, 1, BLEND_ADD, 128); }

// ---- Small boxes ----

void BM_Ours_Boxes565(benchmark::State& state) {
  SetBenchState(BLEND_COPY, 0);
  Screen screen(0);
  for (auto _ : state) {
    for (int i = 0; i < kBoxDraws; i++) {
      Rect r = {BoxX(i), BoxY(i), BoxX(i) + kBox, BoxY(i) + kBox};
      FillMemImgBox(&screen.img, &r, 0x3333);
    }
    benchmark::DoNotOptimize(screen.img.pixels);
  }
  ReportPixels(state, double(kBoxDraws) * kBox * kBox);
}

void BM_SDL_Boxes565(benchmark::State& state) {
  SdlScreen screen(SDL_PIXELFORMAT_RGB565);
  for (auto _ : state) {
    for (int i = 0; i < kBoxDraws; i++) {
      SDL_Rect r = {BoxX(i), BoxY(i), kBox, kBox};
      SDL_FillRect(screen.surface, &r, 0x3333);
    }
    benchmark::DoNotOptimize(screen.surface->pixels);
  }
  ReportPixels(state, double(kBoxDraws) * kBox * kBox);
}

// ---- Lines, ours alone: 1000 lines across the screen and past its edges ----

void BM_Ours_LinesXrgb(benchmark::State& state) {
  SetBenchState(BLEND_COPY, 0);
  Screen screen(1);
  std::vector<LineRecord> lines(kLines);
  double pixels = 0;
  for (int i = 0; i < kLines; i++) {
    LineRecord& l = lines[size_t(i)];
    l = {int32_t(Noise(4 * i) % 800) - 80, int32_t(Noise(4 * i + 1) % 640) - 80,
         int32_t(Noise(4 * i + 2) % 800) - 80, int32_t(Noise(4 * i + 3) % 640) - 80,
         0x00FFFFFF, 0};
    pixels += std::max(std::abs(l.x2 - l.x1), std::abs(l.y2 - l.y1));  // upper bound
  }
  for (auto _ : state) {
    DrawMemImgLines(&screen.img, lines.data(), kLines);
    benchmark::DoNotOptimize(screen.img.pixels);
  }
  ReportPixels(state, pixels);
}

BENCHMARK(BM_Ours_Fill565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_Fill565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_FillXrgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_FillXrgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_Boxes565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SDL_Boxes565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_Mix100Xrgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_Mix100Rgb565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_Add128Xrgb)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_LinesXrgb)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_Ours_Fill565", "BM_SDL_Fill565"},
                        {"BM_Ours_FillXrgb", "BM_SDL_FillXrgb"},
                        {"BM_Ours_Boxes565", "BM_SDL_Boxes565"}});
}
