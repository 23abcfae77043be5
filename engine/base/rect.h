// The engine's rectangle: the layout of the Windows rectangle record, with right and
// bottom exclusive, so the width is right - left and the height bottom - top.
#pragma once

#include <cstdint>

struct Rect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

// Clamps every edge of a into b (which must have right >= left and bottom >= top); a
// keeps right >= left and bottom >= top, so an a that misses b comes back empty on b's
// border rather than negative. Returns 0.
int ClipRect(Rect* a, const Rect* b);
// Swaps left and right when left > right, top and bottom when top > bottom. Returns 0.
int NormalizeRect(Rect* rect);
// Writes right - left and bottom - top through the pointers that are not null. Returns 0.
int GetRectSize(const Rect* rect, int32_t* width, int32_t* height);
