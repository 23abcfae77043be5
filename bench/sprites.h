// The sprites the drawing benchmarks draw: 10,000 places of a 32 x 32 sprite spread over a
// 640 x 480 screen, each wholly on it, and the sprite's colours.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

constexpr int32_t kSprite = 32, kSprites = 10000;

inline const std::vector<SDL_Point>& SpritePlaces() {
  static const std::vector<SDL_Point> places = [] {
    std::vector<SDL_Point> out;
    uint32_t seed = 12345;
    for (int32_t i = 0; i < kSprites; i++) {
      seed = seed * 1664525u + 1013904223u;
      out.push_back({int32_t(seed >> 8) % (640 - kSprite), int32_t(seed >> 20) % (480 - kSprite)});
    }
    return out;
  }();
  return places;
}

// The sprite's colour at (x, y); black (the colour key) along one diagonal band.
inline void SpriteColour(int32_t x, int32_t y, uint8_t* r, uint8_t* g, uint8_t* b) {
  const bool key = (x + y) % 7 == 0;
  *r = key ? 0 : uint8_t(x * 8);
  *g = key ? 0 : uint8_t(y * 8);
  *b = key ? 0 : uint8_t((x ^ y) * 8 + 1);
}
