// Filled boxes and one-pixel lines in one colour, drawn into a software image through the
// current draw state (blend mode and parameter, brightness) and clipped to its draw area.
//
// The colour is a raw pixel value of the destination: X8R8G8B8 for kind 1 (byte 3 is
// stored by the plain copy and kept by every other mode), R5G6B5 in the low 16 bits for
// kind 0. A brightness other than white scales each channel by brightness / 256 before
// the mode (not through the tables, unlike the blit).
#pragma once

#include "engine/base/rect.h"
#include "engine/softimage/memimg.h"

#include <cstdint>

// One line of DrawMemImgLines: 24 bytes. blendParam is filled by the draw layer with the
// current blend parameter; the lines read the draw state's instead.
struct LineRecord {
  int32_t x1;
  int32_t y1;
  int32_t x2;
  int32_t y2;
  uint32_t colour;
  int32_t blendParam;
};
static_assert(sizeof(LineRecord) == 24);

// Fills rect (the whole view when null; left/right and top/bottom are put in order first),
// clipped to the draw area. Draws nothing into a paletted or alpha image, into kinds 2 and
// 3, for modes 5 to 9, above 11 or negative, and at parameter 0 in modes 1 to 3.
void FillMemImgBox(MEMIMG* dst, const Rect* rect, uint32_t colour);
// A line from (x1, y1) toward (x2, y2); the end point itself is not drawn, so a point draws
// nothing. A line that misses the draw area draws nothing. Works on alpha images too (the
// alpha byte of kind 0 is kept); paletted images and kinds 2 and 3 are left alone.
void DrawMemImgLine(MEMIMG* dst, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                    uint32_t colour);
// DrawMemImgLine for each record in order; nothing for a count of 0 or less.
void DrawMemImgLines(MEMIMG* dst, const LineRecord* lines, int32_t count);
