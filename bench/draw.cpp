// The draw cores on the back screen of a 32-bit display, DirectDraw (a video-memory graph,
// so plain draws are BltFast) and software-rendered, against SDL2 on 640 x 480 surfaces of
// the same format: 10,000 keyed 32 x 32 sprites plain and mixed at one half, a clear of
// the whole screen, and a 32 x 32 graph stretched to 64 x 64. The engine's clear empties
// the 16-bit Z buffer with the colour, so SDL's fills a 16-bit surface of the screen's size
// as well. Megapixels drawn per second and the ratios.
#include "bench/enginegraphics.h"
#include "bench/ratio.h"
#include "bench/sprites.h"
#include "engine/graphics/cores.h"
#include "engine/graphics/graph.h"

#include <SDL.h>

#include <vector>

namespace {

constexpr int32_t kStretched = 64;

// The engine started on a 32-bit display and a 32 x 32 sprite graph, or null.
const GraphRecord* StartWithSprite(bool software) {
  if (!StartBenchGraphics(PlatDisplayModeOf(1024, 768, 32, 60), software)) return nullptr;
  GraphImage image{};
  CreateGraphImageRGB8(kSprite, kSprite, &image);
  for (int32_t y = 0; y < kSprite; y++)
    for (int32_t x = 0; x < kSprite; x++) {
      uint8_t r, g, b;
      SpriteColour(x, y, &r, &g, &b);
      SetGraphImagePixel(&image, x, y, r, g, b, 255);
    }
  const int32_t graph = BuildGraphFromGraphImage(&image, nullptr, 0, 0, 0);
  FreeGraphImageCore(&image);
  return LookupGraph(graph);
}

enum Work { SPRITES, MIXED_SPRITES, CLEAR, STRETCH };

double PixelsOf(Work work) {
  switch (work) {
    case SPRITES:
    case MIXED_SPRITES: return double(kSprites) * kSprite * kSprite;
    case CLEAR: return 640.0 * 480.0;
    case STRETCH: return double(kStretched) * kStretched;
  }
  return 0;
}

void Ours(benchmark::State& state, Work work, bool software) {
  const GraphRecord* sprite = StartWithSprite(software);
  if (!sprite) {
    state.SkipWithError("the engine's graphics did not start");
    return;
  }
  SetBlendState(work == MIXED_SPRITES ? BLEND_MIX : BLEND_COPY, work == MIXED_SPRITES ? 128 : 0);
  const std::vector<SDL_Point>& places = SpritePlaces();
  for (auto _ : state) {
    switch (work) {
      case SPRITES:
      case MIXED_SPRITES:
        for (const SDL_Point& p : places) DrawGraphSurfaceCore(p.x, p.y, sprite, 1);
        break;
      case CLEAR: ClearDrawTargetCore(); break;
      case STRETCH: DrawStretchedCore(100, 100, 100 + kStretched, 100 + kStretched, sprite, 1); break;
    }
  }
  ReportPixels(state, PixelsOf(work));
  SetBlendState(BLEND_COPY, 0);
  EndGraphics();
}

void Sdl(benchmark::State& state, Work work) {
  SDL_Surface* screen = SDL_CreateRGBSurfaceWithFormat(0, 640, 480, 32, SDL_PIXELFORMAT_RGB888);
  SDL_Surface* depth = SDL_CreateRGBSurfaceWithFormat(0, 640, 480, 16, SDL_PIXELFORMAT_RGB565);
  SDL_Surface* sprite = SDL_CreateRGBSurfaceWithFormat(0, kSprite, kSprite, 32, SDL_PIXELFORMAT_RGB888);
  SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 40, 80, 120));
  for (int32_t y = 0; y < kSprite; y++)
    for (int32_t x = 0; x < kSprite; x++) {
      uint8_t r, g, b;
      SpriteColour(x, y, &r, &g, &b);
      SDL_Rect at{x, y, 1, 1};
      SDL_FillRect(sprite, &at, SDL_MapRGB(sprite->format, r, g, b));
    }
  SDL_SetColorKey(sprite, SDL_TRUE, SDL_MapRGB(sprite->format, 0, 0, 0));
  if (work == MIXED_SPRITES) {
    SDL_SetSurfaceBlendMode(sprite, SDL_BLENDMODE_BLEND);
    SDL_SetSurfaceAlphaMod(sprite, 128);
  }
  const uint32_t background = SDL_MapRGB(screen->format, 0, 0, 0);
  const std::vector<SDL_Point>& places = SpritePlaces();
  for (auto _ : state) {
    switch (work) {
      case SPRITES:
      case MIXED_SPRITES:
        for (const SDL_Point& p : places) {
          SDL_Rect to{p.x, p.y, kSprite, kSprite};
          SDL_BlitSurface(sprite, nullptr, screen, &to);
        }
        break;
      case CLEAR:
        SDL_FillRect(screen, nullptr, background);
        SDL_FillRect(depth, nullptr, 0xFFFF);
        break;
      case STRETCH: {
        SDL_Rect to{100, 100, kStretched, kStretched};
        SDL_BlitScaled(sprite, nullptr, screen, &to);
        break;
      }
    }
    benchmark::DoNotOptimize(screen->pixels);
    benchmark::DoNotOptimize(depth->pixels);
  }
  ReportPixels(state, PixelsOf(work));
  SDL_FreeSurface(sprite);
  SDL_FreeSurface(depth);
  SDL_FreeSurface(screen);
}

void BM_Ours_SpritesBltFast(benchmark::State& s) { Ours(s, SPRITES, false); }
void BM_Ours_SpritesSoftware(benchmark::State& s) { Ours(s, SPRITES, true); }
void BM_SDL_BlitSurfaceKeyed(benchmark::State& s) { Sdl(s, SPRITES); }
void BM_Ours_MixedSpritesWorkDraw(benchmark::State& s) { Ours(s, MIXED_SPRITES, false); }
void BM_Ours_MixedSpritesSoftware(benchmark::State& s) { Ours(s, MIXED_SPRITES, true); }
void BM_SDL_BlitSurfaceAlphaMod(benchmark::State& s) { Sdl(s, MIXED_SPRITES); }
void BM_Ours_ClearBltFill(benchmark::State& s) { Ours(s, CLEAR, false); }
void BM_Ours_ClearSoftware(benchmark::State& s) { Ours(s, CLEAR, true); }
void BM_SDL_FillRect(benchmark::State& s) { Sdl(s, CLEAR); }
void BM_Ours_StretchWorkDraw(benchmark::State& s) { Ours(s, STRETCH, false); }
void BM_Ours_StretchSoftware(benchmark::State& s) { Ours(s, STRETCH, true); }
void BM_SDL_BlitScaled(benchmark::State& s) { Sdl(s, STRETCH); }
BENCHMARK(BM_Ours_SpritesBltFast);
BENCHMARK(BM_Ours_SpritesSoftware);
BENCHMARK(BM_SDL_BlitSurfaceKeyed);
BENCHMARK(BM_Ours_MixedSpritesWorkDraw);
BENCHMARK(BM_Ours_MixedSpritesSoftware);
BENCHMARK(BM_SDL_BlitSurfaceAlphaMod);
BENCHMARK(BM_Ours_ClearBltFill);
BENCHMARK(BM_Ours_ClearSoftware);
BENCHMARK(BM_SDL_FillRect);
BENCHMARK(BM_Ours_StretchWorkDraw);
BENCHMARK(BM_Ours_StretchSoftware);
BENCHMARK(BM_SDL_BlitScaled);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_Ours_SpritesBltFast", "BM_SDL_BlitSurfaceKeyed"},
                        {"BM_Ours_SpritesSoftware", "BM_SDL_BlitSurfaceKeyed"},
                        {"BM_Ours_MixedSpritesWorkDraw", "BM_SDL_BlitSurfaceAlphaMod"},
                        {"BM_Ours_MixedSpritesSoftware", "BM_SDL_BlitSurfaceAlphaMod"},
                        {"BM_Ours_ClearBltFill", "BM_SDL_FillRect"},
                        {"BM_Ours_ClearSoftware", "BM_SDL_FillRect"},
                        {"BM_Ours_StretchWorkDraw", "BM_SDL_BlitScaled"},
                        {"BM_Ours_StretchSoftware", "BM_SDL_BlitScaled"}});
}
