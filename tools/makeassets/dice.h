// A fixed-seed generator (xorshift32) for textures and noise: the same sequence on every
// machine and every build.
#pragma once

#include <cstdint>

struct Dice {
  uint32_t state;  // any value but 0
};

inline uint32_t Roll(Dice* d) {
  uint32_t x = d->state ? d->state : 0x9E3779B9u;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  d->state = x;
  return x;
}

inline double Unit(Dice* d) { return (Roll(d) >> 8) / double(1 << 24); }  // 0 to 1
