// The software renderer's lookup tables: the per-channel blending goes through them
// instead of dividing per pixel. Every software draw clips with ClipRect (base/rect.h).
#pragma once

#include "engine/base/rect.h"

#include <cstdint>

// Row r, entry c: floor(r x c / 255). Scales a channel value by a factor with 255 as one.
extern uint32_t BlendMulTable[256][256];
// Row r, entry d + 256: r x d / 255 truncated toward zero, d = -255 ... 255 (entry 0 of
// a row is never written). A renderer keeps &row[256] and adds the entry at (s - d).
extern int32_t BlendDiffTable[256][512];
// Block k, row i, entry j: floor((k x i + (63 - k) x j) / 63); mixes two 6-bit values
// with weight k out of 63 (k = 63 gives i).
extern uint8_t BlendMix6Table[64][64][64];
// The factor (0-255) with which the source is drawn over a blend-graph pixel value.
extern uint8_t BlendGraphCurve[256];

// Fills the three fixed tables; later calls find them built and return at once. 0.
int BuildBlendTables();
// The blend-graph curve: a ramp of slope 256 / (r + 1) shifted by p from all of the
// source drawn (p = 0) toward none of it (p = 255). Both are clamped to 0-255 first.
void BuildBlendGraphCurve(int32_t p, int32_t r);
