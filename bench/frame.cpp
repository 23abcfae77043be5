// A game-like frame through the engine's entry points: a clear, the field's 195 cells of
// 32 x 32 from a sheet, 20 keyed sprites, 4 sprites mixed at 128 and a present; against
// the same frame through SDL2's software renderer with its textures made once (the cells
// from one sheet texture, the keyed sprite as a colour-keyed texture, the mixed one with
// an alpha of 128). Both show in a window on SDL's dummy video driver unless another is
// set, with no wait for the vertical blank:
//   window 32       a 640 x 480 window on a 32-bit desktop, both drawn at 640 x 480
//   full screen 16  the game's 640 x 480 x 16 shown scaled to the desktop; SDL draws into a
//                   640 x 480 target texture and copies it, scaled, into a desktop window
// Frames per second and the ratios.
#include "bench/ratio.h"
#include "bench/sdlengine.h"
#include "engine/engine.h"
#include "engine/graphics/drawsettings.h"
#include "engine/graphics/graph.h"
#include "engine/pixel/colorformat.h"
#include "engine/state/sysdata.h"
#include "platform/kernel/kernel.h"
#include "platform/window/window.h"

#include <SDL.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int32_t kW = 640, kH = 480, kCell = 32, kColumns = 15, kRows = 13, kTiles = 8;
constexpr int32_t kKeyed = 20, kMixed = 4;

// The sheet: 8 floor and wall tiles, then the sprite (black is its colour key) and the
// sprite drawn mixed.
uint32_t SheetPixel(int32_t x, int32_t y) {
  const int32_t cell = x / kCell, cx = x % kCell;
  if (cell < kTiles) return uint32_t(40 + cell * 20) << 16 | uint32_t((cx ^ y) * 4) << 8 | uint32_t(160 - cell * 10);
  const bool key = (cx - 16) * (cx - 16) + (y - 16) * (y - 16) > 14 * 14;
  return key ? 0 : uint32_t(255) << 16 | uint32_t(cx * 8) << 8 | uint32_t(y * 8);
}

// Where the frame's sprites go: the same places for both.
SDL_Point SpriteAt(int32_t i) { return {24 + (i * 97) % (kW - 80), 16 + (i * 61) % (kH - 64)}; }

// ---- ours --------------------------------------------------------------------------------

struct Ours {
  int32_t cells[kTiles + 2];
};

bool StartOurs(bool window, Ours* o) {
  g_System.settings.windowed = window ? 1 : 0;
  if (EngineInit() != 0) return false;
  // The dummy driver may never give the window the focus; a draw would wait for it.
  g_System.windowActive = 1;
  if (SetScreenMode(kW, kH, window ? 32 : 16, 60) != 0 || SetDrawTarget(DRAW_SCREEN_BACK) != 0) return false;
  SetVBlankWait(0);
  GraphImage image{};
  CreateGraphImageRGB8(kCell * (kTiles + 2), kCell, &image);
  for (int32_t y = 0; y < kCell; y++)
    for (int32_t x = 0; x < kCell * (kTiles + 2); x++) {
      const uint32_t rgb = SheetPixel(x, y);
      SetGraphImagePixel(&image, x, y, int32_t(rgb >> 16), int32_t(rgb >> 8 & 0xFF), int32_t(rgb & 0xFF), 255);
    }
  const int made = CreateDivGraphFromGraphImage(&image, nullptr, kTiles + 2, kTiles + 2, 1, kCell, kCell, o->cells, 1,
                                                0, 0);
  FreeGraphImage(&image);
  return made == 0;
}

bool OurFrame(const Ours& o) {
  bool ok = ClearDrawTarget() == 0;
  for (int32_t c = 0; c < kColumns * kRows; c++)
    ok &= DrawGraphAt(c % kColumns * kCell, c / kColumns * kCell, o.cells[(c * 7 + c / kColumns) % kTiles], 0) == 0;
  for (int32_t i = 0; i < kKeyed; i++) ok &= DrawGraphAt(SpriteAt(i).x, SpriteAt(i).y, o.cells[kTiles], 1) == 0;
  SetBlendState(BLEND_MIX, 128);
  for (int32_t i = 0; i < kMixed; i++)
    ok &= DrawGraphAt(SpriteAt(kKeyed + i).x, SpriteAt(kKeyed + i).y, o.cells[kTiles + 1], 1) == 0;
  SetBlendState(BLEND_COPY, 0);
  return ok && PresentScreen() == 0;
}

void BM_Ours_Frame(benchmark::State& state, bool window) {
  if (std::strcmp(PlatWindowBackendName(), "sdl") != 0) {
    state.SkipWithError("the engine's windows are not SDL's");
    return;
  }
  Ours o{};
  if (!StartOurs(window, &o)) {
    state.SkipWithError("the engine did not start");
    EngineEnd();
    return;
  }
  for (auto _ : state)
    if (!OurFrame(o)) {
      state.SkipWithError("a draw failed");
      break;
    }
  state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  EngineEnd();
}

// ---- SDL's renderer -----------------------------------------------------------------------

SDL_Texture* TextureOf(SDL_Renderer* renderer, int32_t firstCell, int32_t cells, bool keyed, uint8_t alpha) {
  SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, kCell * cells, kCell, 32, SDL_PIXELFORMAT_RGB888);
  if (!s) return nullptr;
  for (int32_t y = 0; y < kCell; y++)
    for (int32_t x = 0; x < kCell * cells; x++)
      static_cast<uint32_t*>(s->pixels)[y * s->pitch / 4 + x] = SheetPixel(firstCell * kCell + x, y);
  if (keyed) SDL_SetColorKey(s, SDL_TRUE, 0);
  SDL_Texture* t = SDL_CreateTextureFromSurface(renderer, s);
  SDL_FreeSurface(s);
  if (t && alpha != 255) {
    SDL_SetTextureBlendMode(t, SDL_BLENDMODE_BLEND);
    SDL_SetTextureAlphaMod(t, alpha);
  }
  return t;
}

void BM_SDL_Frame(benchmark::State& state, int32_t windowWidth, int32_t windowHeight) {
  const bool scaled = windowWidth != kW || windowHeight != kH;
  SDL_Window* window = SDL_CreateWindow("bench", 0, 0, windowWidth, windowHeight, 0);
  SDL_Renderer* r = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE | SDL_RENDERER_TARGETTEXTURE) : nullptr;
  SDL_Texture* tiles = r ? TextureOf(r, 0, kTiles, false, 255) : nullptr;
  SDL_Texture* keyed = r ? TextureOf(r, kTiles, 1, true, 255) : nullptr;
  SDL_Texture* mixed = r ? TextureOf(r, kTiles + 1, 1, true, 128) : nullptr;
  SDL_Texture* target =
      r && scaled ? SDL_CreateTexture(r, SDL_PIXELFORMAT_RGB565, SDL_TEXTUREACCESS_TARGET, kW, kH) : nullptr;
  if (!tiles || !keyed || !mixed || (scaled && !target)) {
    state.SkipWithError("no SDL renderer");
  } else {
    for (auto _ : state) {
      SDL_SetRenderTarget(r, target);
      SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
      SDL_RenderClear(r);
      for (int32_t c = 0; c < kColumns * kRows; c++) {
        const SDL_Rect from{(c * 7 + c / kColumns) % kTiles * kCell, 0, kCell, kCell};
        const SDL_Rect to{c % kColumns * kCell, c / kColumns * kCell, kCell, kCell};
        SDL_RenderCopy(r, tiles, &from, &to);
      }
      for (int32_t i = 0; i < kKeyed + kMixed; i++) {
        const SDL_Rect to{SpriteAt(i).x, SpriteAt(i).y, kCell, kCell};
        SDL_RenderCopy(r, i < kKeyed ? keyed : mixed, nullptr, &to);
      }
      if (scaled) {
        SDL_SetRenderTarget(r, nullptr);
        SDL_RenderCopy(r, target, nullptr, nullptr);
      }
      SDL_RenderPresent(r);
    }
    state.counters["frames/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  }
  for (SDL_Texture* t : {tiles, keyed, mixed, target})
    if (t) SDL_DestroyTexture(t);
  if (r) SDL_DestroyRenderer(r);
  if (window) SDL_DestroyWindow(window);
}

}  // namespace

int main(int argc, char** argv) {
  const SDL_DisplayMode desktop = StartEngineOnSdl(kW, kH);
  benchmark::RegisterBenchmark("BM_Ours_FrameWindow32", BM_Ours_Frame, true);
  benchmark::RegisterBenchmark("BM_SDL_FrameWindow", BM_SDL_Frame, kW, kH);
  benchmark::RegisterBenchmark("BM_Ours_FrameFullScreen16", BM_Ours_Frame, false);
  benchmark::RegisterBenchmark("BM_SDL_FrameScaledToDesktop", BM_SDL_Frame, desktop.w, desktop.h);
  const int result = RunWithRatios(argc, argv,
                                   {{"BM_Ours_FrameWindow32", "BM_SDL_FrameWindow"},
                                    {"BM_Ours_FrameFullScreen16", "BM_SDL_FrameScaledToDesktop"}},
                                   "frames/s");
  SDL_Quit();
  return result;
}
