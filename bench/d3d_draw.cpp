// Sprites through the public DrawGraphAt and a present, on the engine's default path (the
// Direct3D-style device drawing texture graphs) and on the software path (what KR_D3D=0
// falls back to), against SDL_RenderCopy on SDL's software renderer, all on a 640 x 480
// window of a 32-bit desktop:
//   - 10,000 keyed 32 x 32 sprites spread over the screen, then a present;
//   - a full field of the game: 15 x 13 floor cells of 32 x 32 and a keyed sprite on each,
//     then a present, reported as the frame time.
// Megapixels drawn per second of CPU time, with the vertical-blank wait off, and the ratios.
#include "bench/enginegraphics.h"
#include "bench/ratio.h"
#include "bench/sprites.h"
#include "engine/d3d/direct3d.h"
#include "engine/engine.h"
#include "engine/graphics/graph.h"
#include "engine/graphics/graphrecord.h"
#include "engine/graphics/screen.h"
#include "platform/d3d/d3d.h"

#include <SDL.h>

#include <vector>

namespace {

constexpr int32_t kColumns = 15, kRows = 13;

// The floor has no key colour.
void FloorColour(int32_t x, int32_t y, uint8_t* r, uint8_t* g, uint8_t* b) {
  *r = uint8_t(96 + (x & 8) * 4);
  *g = uint8_t(128 + (y & 8) * 4);
  *b = 64;
}

int32_t GraphOf(void (*colour)(int32_t, int32_t, uint8_t*, uint8_t*, uint8_t*)) {
  GraphImage image{};
  CreateGraphImageRGB8(kSprite, kSprite, &image);
  for (int32_t y = 0; y < kSprite; y++)
    for (int32_t x = 0; x < kSprite; x++) {
      uint8_t r, g, b;
      colour(x, y, &r, &g, &b);
      SetGraphImagePixel(&image, x, y, r, g, b, 255);
    }
  const int32_t graph = BuildGraphFromGraphImage(&image, nullptr, 1, 0, 0);
  FreeGraphImageCore(&image);
  return graph;
}

enum Work { SPRITES, FIELD };

double PixelsOf(Work work) {
  return work == SPRITES ? double(kSprites) * kSprite * kSprite : 2.0 * kColumns * kRows * kSprite * kSprite;
}

// The frame time in milliseconds of a full field.
void ReportFrame(benchmark::State& state, Work work) {
  ReportPixels(state, PixelsOf(work));
  if (work == FIELD)
    state.counters["ms/frame"] =
        benchmark::Counter(double(state.iterations()) * 1e-3, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void Ours(benchmark::State& state, Work work, bool direct3D) {
  PlatD3DSetAvailable(direct3D ? 1 : 0);
  // A software run's fallback leaves the engine off DirectDraw and 3D; the next run starts
  // as a program does.
  g_ScreenState.noDirectDraw = 0;
  EnableHardware3D(1);
  SetGraphSoftwareSurfaceMode(1);
  if (!StartBenchGraphics(PlatDisplayModeOf(1024, 768, 32, 60), false)) {
    PlatD3DSetAvailable(1);
    state.SkipWithError("the engine's graphics did not start");
    return;
  }
  if ((g_Direct3D.direct3D != 0) != direct3D) {
    EndGraphics();
    PlatD3DSetAvailable(1);
    state.SkipWithError(direct3D ? "Direct3D did not start" : "Direct3D started");
    return;
  }
  const int32_t sprite = GraphOf(SpriteColour), floor = GraphOf(FloorColour);
  const GraphRecord* made = LookupGraph(sprite);
  if (!made || made->flags.texture != (direct3D ? 1 : 0)) {
    EndGraphics();
    PlatD3DSetAvailable(1);
    state.SkipWithError("the sprite is not the road's kind of graph");
    return;
  }
  // The present would otherwise wait for the display's blank, and the figures would be the
  // frame pacing, not the drawing.
  SetVBlankWait(0);
  const std::vector<SDL_Point>& places = SpritePlaces();
  for (auto _ : state) {
    if (work == SPRITES) {
      for (const SDL_Point& p : places) DrawGraphAt(p.x, p.y, sprite, 1);
    } else {
      for (int32_t row = 0; row < kRows; row++)
        for (int32_t column = 0; column < kColumns; column++) DrawGraphAt(column * 32, row * 32, floor, 0);
      for (int32_t row = 0; row < kRows; row++)
        for (int32_t column = 0; column < kColumns; column++) DrawGraphAt(column * 32, row * 32, sprite, 1);
    }
    PresentScreen();
  }
  ReportFrame(state, work);
  EndGraphics();
  PlatD3DSetAvailable(1);
}

void Sdl(benchmark::State& state, Work work) {
  SDL_Surface* screen = SDL_CreateRGBSurfaceWithFormat(0, 640, 480, 32, SDL_PIXELFORMAT_RGB888);
  SDL_Renderer* renderer = SDL_CreateSoftwareRenderer(screen);
  auto texture = [&](void (*colour)(int32_t, int32_t, uint8_t*, uint8_t*, uint8_t*), bool keyed) {
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, kSprite, kSprite, 32, SDL_PIXELFORMAT_RGB888);
    for (int32_t y = 0; y < kSprite; y++)
      for (int32_t x = 0; x < kSprite; x++) {
        uint8_t r, g, b;
        colour(x, y, &r, &g, &b);
        SDL_Rect at{x, y, 1, 1};
        SDL_FillRect(s, &at, SDL_MapRGB(s->format, r, g, b));
      }
    if (keyed) SDL_SetColorKey(s, SDL_TRUE, SDL_MapRGB(s->format, 0, 0, 0));
    SDL_Texture* t = SDL_CreateTextureFromSurface(renderer, s);
    SDL_FreeSurface(s);
    return t;
  };
  SDL_Texture* sprite = texture(SpriteColour, true);
  SDL_Texture* floor = texture(FloorColour, false);
  const std::vector<SDL_Point>& places = SpritePlaces();
  for (auto _ : state) {
    if (work == SPRITES) {
      for (const SDL_Point& p : places) {
        const SDL_Rect to{p.x, p.y, kSprite, kSprite};
        SDL_RenderCopy(renderer, sprite, nullptr, &to);
      }
    } else {
      for (SDL_Texture* t : {floor, sprite})
        for (int32_t row = 0; row < kRows; row++)
          for (int32_t column = 0; column < kColumns; column++) {
            const SDL_Rect to{column * 32, row * 32, kSprite, kSprite};
            SDL_RenderCopy(renderer, t, nullptr, &to);
          }
    }
    SDL_RenderPresent(renderer);
    benchmark::DoNotOptimize(screen->pixels);
  }
  ReportFrame(state, work);
  SDL_DestroyTexture(floor);
  SDL_DestroyTexture(sprite);
  SDL_DestroyRenderer(renderer);
  SDL_FreeSurface(screen);
}

void BM_Ours_SpritesDirect3D(benchmark::State& s) { Ours(s, SPRITES, true); }
void BM_Ours_SpritesSoftware(benchmark::State& s) { Ours(s, SPRITES, false); }
void BM_SDL_RenderCopySoftware(benchmark::State& s) { Sdl(s, SPRITES); }
void BM_Ours_FieldDirect3D(benchmark::State& s) { Ours(s, FIELD, true); }
void BM_Ours_FieldSoftware(benchmark::State& s) { Ours(s, FIELD, false); }
void BM_SDL_FieldRenderCopy(benchmark::State& s) { Sdl(s, FIELD); }
BENCHMARK(BM_Ours_SpritesDirect3D)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_SpritesSoftware)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SDL_RenderCopySoftware)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_FieldDirect3D)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_FieldSoftware)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SDL_FieldRenderCopy)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_Ours_SpritesDirect3D", "BM_SDL_RenderCopySoftware"},
                        {"BM_Ours_SpritesSoftware", "BM_SDL_RenderCopySoftware"},
                        {"BM_Ours_SpritesDirect3D", "BM_Ours_SpritesSoftware"},
                        {"BM_Ours_FieldDirect3D", "BM_SDL_FieldRenderCopy"},
                        {"BM_Ours_FieldSoftware", "BM_SDL_FieldRenderCopy"}});
}
