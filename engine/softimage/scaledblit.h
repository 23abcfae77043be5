// The scaled blit: one whole software image stretched or shrunk into a rectangle of
// another by nearest-neighbour sampling, through the current draw state (draw area,
// blend mode and parameter, brightness, blend graph). The stretched-draw core's software
// path.
#pragma once

#include "engine/base/rect.h"
#include "engine/softimage/memimg.h"

#include <cstdint>

// Draws the whole of src into rect of dst, given as {x1, y1, x2, y2} in the fields
// left, top, right, bottom (the larger of each pair exclusive; rect is only read).
// x1 > x2 mirrors the image left to right, y1 > y2 turns it upside down. trans non-zero
// leaves out pixels of the transparent colour, or of alpha 0 for an alpha source (in
// every blend mode). blendImage, when not null, is the blend graph's one-channel 8-bit
// image, read at the source's coordinates.
//
// A rectangle of the source's own size, neither mirrored nor flipped, is drawn by
// BlitMemImg. Every other draw samples, for the destination pixel D pixels from the
// rectangle's unclipped edge, source column floor(D x 65536 / step) with step the 16.16
// ratio of the sides (rows alike), so a clipped draw shows what the unclipped one shows.
// The plain copy (mode 0, or mode 1 at 255, at white brightness without blend image and
// on a source without alpha) and the subtract at 255 under the same conditions keep the
// earlier source pixel where that ratio is an exact whole number of pixels.
//
// Draws nothing (silently) for images that are not live, a source side of 0 or above
// 65535, a source kind other than 0 and 1, a destination of another kind than the source
// or with a palette or alpha, a blend image that is not 8-bit one-channel or is smaller
// than the source, an empty rectangle, modes 5 to 9 and above 11 (negative values too)
// and parameter 0 in modes 1 to 3. Clips to the draw area and to the destination. The
// parameter is clamped to 0-255.
void BlitMemImgScaled(MEMIMG* dst, const MEMIMG* src, const Rect* rect, int32_t trans,
                      const MEMIMG* blendImage);
