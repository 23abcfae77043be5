#include "engine/base/random.h"

#include "platform/kernel/kernel.h"

namespace {

constexpr int kWords = 624;
constexpr int kMiddle = 397;
constexpr uint32_t kMatrix = 0x9908B0DFu;
constexpr uint32_t kUpper = 0x80000000u;
constexpr uint32_t kLower = 0x7FFFFFFFu;

struct RandomState {
  int32_t outputIndex;
  uint32_t outputs[kWords];
  uint32_t state[kWords + 1];  // place 624 holds the new word 0 for the last step
  int seeded;
  int useMmx;  // kept for what the processor offers; both paths give the same words
};
RandomState g_random;

inline uint32_t Twist(uint32_t word, uint32_t next, uint32_t far) {
  uint32_t y = (word & kUpper) | (next & kLower);
  return far ^ (y >> 1) ^ ((y & 1u) ? kMatrix : 0u);
}

inline uint32_t Temper(uint32_t y) {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  y ^= y >> 18;
  return y;
}

}  // namespace

void SeedRandom(uint32_t seed) {
  uint32_t x = seed;
  for (int i = 0; i < kWords; i++) {
    uint32_t word = x & 0xFFFF0000u;
    x = 69069u * x + 1u;
    word |= (x & 0xFFFF0000u) >> 16;
    x = 69069u * x + 1u;
    g_random.state[i] = word;
  }
  g_random.useMmx = DetectMmx();
  g_random.seeded = 1;
  RegenerateRandom();
}

void RegenerateRandom() {
  uint32_t* mt = g_random.state;
  int i = 0;
  for (; i < kWords - kMiddle; i++) mt[i] = Twist(mt[i], mt[i + 1], mt[i + kMiddle]);
  mt[kWords] = mt[0];
  for (; i < kWords; i++) mt[i] = Twist(mt[i], mt[i + 1], mt[i + kMiddle - kWords]);
  for (int k = 0; k < kWords; k++) g_random.outputs[k] = Temper(mt[k]);
  g_random.outputIndex = 0;
}

int32_t RandomNext() {
  if (!g_random.seeded) SeedRandom(4357);
  if (g_random.outputIndex >= kWords) RegenerateRandom();
  return int32_t(g_random.outputs[g_random.outputIndex++]);
}

int32_t RandomIntCore(int32_t max) {
  const uint64_t r = uint32_t(RandomNext());
  // max + 1 wraps in 32 bits, so the largest max gives 0 rather than a result past it.
  const uint64_t range = uint32_t(uint32_t(max) + 1u);
  return int32_t(uint32_t((r * range) >> 32));
}

int DetectMmx() {
  uint32_t regs[4];
  PlatCpuid(0, regs);
  if (regs[0] == 0) return 0;
  PlatCpuid(1, regs);
  return (regs[3] >> 23) & 1u ? 1 : 0;
}
