// Rectangles and the software renderer's lookup tables.
//
// Every software draw clips with ClipRect; the per-channel blending goes through the
// tables instead of dividing per pixel.
#pragma once

#include "engine/base/rect.h"

#include <cstdint>

// Clamps every edge of a into b (which must have right >= left and bottom >= top); a
// keeps right >= left and bottom >= top, so an a that misses b comes back empty on b's
// border rather than negative. Returns 0.
int ClipRect(Rect* a, const Rect* b);
// Swaps left and right when left > right, top and bottom when top > bottom. Returns 0.
int NormalizeRect(Rect* rect);
// Writes right - left and bottom - top through the pointers that are not null. Returns 0.
int GetRectSize(const Rect* rect, int32_t* width, int32_t* height);

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
