// Images for the benchmarks that time our software renderer against SDL2's blitter: the
// same pixels in a MEMIMG and in an SDL surface, a few pixel patterns, and the draw
// state the cases start from.
#pragma once

#include "engine/pixel/drawstate.h"
#include "engine/softimage/blendtables.h"
#include "engine/softimage/memimg.h"
#include "ratio.h"

#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

constexpr int kScreenW = 640, kScreenH = 480, kSprite = 32, kSpriteDraws = 10000;
constexpr uint32_t kKey565 = 0xF81F;

inline uint32_t Noise(int i) { return uint32_t(i) * 2654435761u ^ uint32_t(i >> 7) * 40503u; }

// A 32 x 32 sprite with a keyed border on its left and top.
inline uint32_t SpritePixel(int i) {
  return (i % 32 < 6 || i / 32 < 4) ? kKey565 : Noise(i) & 0xFFFF;
}
inline uint32_t Pixel565(int i) { return Noise(i) & 0xFFFF; }
// Opaque, for SDL's per-pixel alpha.
inline uint32_t PixelArgb(int i) { return Noise(i) | 0xFF000000; }

// The same pixels for both sides: ours in a MEMIMG, SDL's in a surface over the same
// values (each side draws into its own destination).
struct ImagePair {
  MEMIMG img{};
  SDL_Surface* surface = nullptr;
  ImagePair(int kind, int w, int h, uint32_t sdlFormat, uint32_t key, uint32_t (*pixel)(int)) {
    CreateMemImg(&img, w, h, -1, key, kind, 0, 0, 0, nullptr);
    surface = SDL_CreateRGBSurfaceWithFormat(0, w, h, kind ? 32 : 16, sdlFormat);
    int bytes = kind ? 4 : 2;
    for (int y = 0; y < h; y++) {
      for (int x = 0; x < w; x++) {
        uint32_t v = pixel(y * w + x);
        std::memcpy(img.pixels + y * img.data->pitch + x * bytes, &v, size_t(bytes));
        std::memcpy(static_cast<uint8_t*>(surface->pixels) + y * surface->pitch + x * bytes, &v,
                    size_t(bytes));
      }
    }
  }
  ~ImagePair() {
    ReleaseMemImg(&img);
    SDL_FreeSurface(surface);
  }
  ImagePair(const ImagePair&) = delete;
  ImagePair& operator=(const ImagePair&) = delete;
};

// Tables built, the whole screen as the draw area, white brightness, the given mode.
inline void SetBenchState(int mode, int param) {
  BuildBlendTables();
  g_DrawState.drawArea = {0, 0, kScreenW, kScreenH};
  g_DrawState.blendMode = mode;
  g_DrawState.blendParam = param;
  g_DrawState.brightRed = g_DrawState.brightGreen = g_DrawState.brightBlue = 255;
}

// A colour-keyed 32 x 32 RGB565 sprite and a 640 x 480 RGB565 screen on both sides, the
// draw state set for a copy.
struct SpriteScene {
  ImagePair sprite{0, kSprite, kSprite, SDL_PIXELFORMAT_RGB565, kKey565, SpritePixel};
  ImagePair screen{0, kScreenW, kScreenH, SDL_PIXELFORMAT_RGB565, 0, Pixel565};
  SpriteScene() {
    SetBenchState(BLEND_COPY, 0);
    SDL_SetColorKey(sprite.surface, SDL_TRUE, kKey565);
  }
};

// Times kSpriteDraws calls of draw(x, y) at scattered places where a side x side draw
// stays on the screen, and reports the pixels drawn.
template <class Draw>
void TimeSprites(benchmark::State& state, int side, Draw draw) {
  for (auto _ : state) {
    for (int i = 0; i < kSpriteDraws; i++) {
      draw(int(Noise(i) % uint32_t(kScreenW - side)),
           int(Noise(i + 99991) % uint32_t(kScreenH - side)));
    }
    benchmark::ClobberMemory();
  }
  ReportPixels(state, double(kSpriteDraws) * side * side);
}
