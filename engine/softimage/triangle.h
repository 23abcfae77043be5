// The software renderer's textured triangle: one triangle of a destination image filled
// with texels of a source image, mapped affinely from texture coordinates at the three
// vertices and sampled at the nearest texel, through the current draw state (draw area,
// blend mode and parameter, brightness). A four-corner draw arrives as two triangles that
// share a diagonal; both draw the pixels of that edge.
#pragma once

#include "engine/softimage/memimg.h"

#include <cstdint>

// One corner: destination column and row in pixels, source column and row in texels.
struct TriangleVertex {
  int32_t x;
  int32_t y;
  int32_t u;
  int32_t v;
};

// Fills the triangle of the three vertices (any order, either winding) with texels of
// src; the row of the bottom vertex is never drawn, and each row covers the columns of
// both its edges. trans non-zero leaves out texels of the transparent colour (alpha 0 in
// some modes for an alpha source). blendImage, when not null, is the blend graph's
// one-channel 8-bit image, read at the texel's position. colour serves no source-less
// draw: a null source draws nothing.
// Draws nothing for images that are not live, a source of another kind than the
// destination, a paletted or alpha destination, kinds other than 0 and 1, a blend image
// that is not 8-bit one-channel or is smaller than the source, a vertex with a value
// outside -8192..8191, three vertices on one line, modes 5 to 9 and above 11 (negative
// too), and the parameter shortcuts of the modes. Clips to the draw area and to the
// destination; texels outside the source leave their pixels unchanged.
void DrawMemImgTriangle(MEMIMG* dst, const MEMIMG* src, const TriangleVertex* vertices,
                        int32_t trans, const MEMIMG* blendImage, uint32_t colour);
