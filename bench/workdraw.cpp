// One blended draw of a 64 x 64 graph onto the back screen through the work-image bracket
// (BeginWorkDraw: the box copied into work surface 1 and locked, the piece copied into work
// surface 2 and locked, converted both ways on a 5:5:5 display; the software blit; then
// EndWorkDraw copying the box back) on the headless display of a window, against
// SDL_BlitSurface of the same 64 x 64 pixels mixed at one half onto a 640 x 480 surface of
// the display's format. Megapixels drawn per second and the ratios.
#include "bench/enginegraphics.h"
#include "bench/ratio.h"
#include "engine/graphics/drawtarget.h"
#include "engine/graphics/graph.h"
#include "engine/softimage/blit.h"

#include <SDL.h>

namespace {

constexpr int32_t kPiece = 64, kX = 100, kY = 100;

PlatDisplayMode Desktop(bool rgb555) {
  PlatDisplayMode m = PlatDisplayModeOf(1024, 768, rgb555 ? 16 : 32, 60);
  if (rgb555) {
    m.redMask = 0x7C00;
    m.greenMask = 0x03E0;
    m.blueMask = 0x001F;
  }
  return m;
}

// The engine's graphics in a window on a desktop of that format, the back screen the
// target; the graph to draw, or -1.
int32_t StartEngineGraphics(bool rgb555) {
  if (!StartBenchGraphics(Desktop(rgb555), false)) return -1;
  GraphImage image{};
  CreateGraphImageRGB8(kPiece, kPiece, &image);
  for (int32_t y = 0; y < kPiece; y++)
    for (int32_t x = 0; x < kPiece; x++) SetGraphImagePixel(&image, x, y, x * 4, y * 4, (x ^ y) * 4, 255);
  const int32_t graph = BuildGraphFromGraphImage(&image, nullptr, 0, 0, 0);
  FreeGraphImageCore(&image);
  SetBlendState(BLEND_MIX, 128);
  return graph;
}

void Ours(benchmark::State& state, bool rgb555) {
  const int32_t graph = StartEngineGraphics(rgb555);
  const GraphRecord* g = LookupGraph(graph);
  if (!g) {
    state.SkipWithError("the engine's graphics did not start");
    return;
  }
  const Surface2DRecord* piece = GetSurface2D(g->surfaces[0]);
  const Rect source{0, 0, kPiece, kPiece}, box{kX, kY, kX + kPiece, kY + kPiece};
  for (auto _ : state) {
    if (BeginWorkDraw(piece, 0, &source, &box, 0, nullptr, nullptr) != 0 || !g_WorkDraw.destination ||
        !g_WorkDraw.source) {
      state.SkipWithError("the work draw was refused");
      break;
    }
    BlitMemImg(g_WorkDraw.destination, g_WorkDraw.source, kX, kY, 0, nullptr);
    EndWorkDraw();
  }
  ReportPixels(state, double(kPiece) * kPiece);
  EndGraphics();
}

void Sdl(benchmark::State& state, uint32_t format) {
  SDL_Surface* screen = SDL_CreateRGBSurfaceWithFormat(0, 640, 480, 32, format);
  SDL_Surface* piece = SDL_CreateRGBSurfaceWithFormat(0, kPiece, kPiece, 32, format);
  SDL_FillRect(screen, nullptr, SDL_MapRGB(screen->format, 40, 80, 120));
  for (int32_t y = 0; y < kPiece; y++)
    for (int32_t x = 0; x < kPiece; x++) {
      SDL_Rect at{x, y, 1, 1};
      SDL_FillRect(piece, &at, SDL_MapRGB(piece->format, uint8_t(x * 4), uint8_t(y * 4), uint8_t((x ^ y) * 4)));
    }
  SDL_SetSurfaceBlendMode(piece, SDL_BLENDMODE_BLEND);
  SDL_SetSurfaceAlphaMod(piece, 128);
  for (auto _ : state) {
    SDL_Rect to{kX, kY, kPiece, kPiece};
    SDL_BlitSurface(piece, nullptr, screen, &to);
    benchmark::DoNotOptimize(screen->pixels);
  }
  ReportPixels(state, double(kPiece) * kPiece);
  SDL_FreeSurface(piece);
  SDL_FreeSurface(screen);
}

void BM_Ours_WorkDrawMix32(benchmark::State& state) { Ours(state, false); }
void BM_SDL_BlitSurfaceMix32(benchmark::State& state) { Sdl(state, SDL_PIXELFORMAT_RGB888); }
void BM_Ours_WorkDrawMix555(benchmark::State& state) { Ours(state, true); }
void BM_SDL_BlitSurfaceMix555(benchmark::State& state) { Sdl(state, SDL_PIXELFORMAT_RGB555); }
BENCHMARK(BM_Ours_WorkDrawMix32);
BENCHMARK(BM_SDL_BlitSurfaceMix32);
BENCHMARK(BM_Ours_WorkDrawMix555);
BENCHMARK(BM_SDL_BlitSurfaceMix555);

}  // namespace

int main(int argc, char** argv) {
  return RunWithRatios(argc, argv,
                       {{"BM_Ours_WorkDrawMix32", "BM_SDL_BlitSurfaceMix32"},
                        {"BM_Ours_WorkDrawMix555", "BM_SDL_BlitSurfaceMix555"}});
}
