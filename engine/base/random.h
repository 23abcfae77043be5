// The engine's random numbers: a Mersenne Twister MT19937 with the 1998 reference
// seeding. A draw before any seeding seeds with 4357 first.
#pragma once

#include <cstdint>

// Fills the state from the seed and makes the first 624 outputs.
void SeedRandom(uint32_t seed);
// The next 32-bit output.
int32_t RandomNext();
// A whole number from 0 to max (max taken as unsigned; a max of 0xFFFFFFFF gives 0).
int32_t RandomIntCore(int32_t max);
// Makes the next 624 state words and their tempered outputs.
void RegenerateRandom();
// 1 when the processor reports MMX through its identification instruction, else 0.
int DetectMmx();
